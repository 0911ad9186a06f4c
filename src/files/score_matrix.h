// The SNP-by-subject score matrix as stored: one row per SNP in file order, with the missing
// code still in place. A missing score reads as its replacement (zero, or the mean of the
// subject's other scores), computed once; the stored values are never copied or changed, so
// a binary score file is used where it is mapped. A compact file's rows are codes: every
// reader below gets them decoded, a row or a few rows at a time, never the whole matrix.
#pragma once

#include <string>
#include <vector>

#include "files/compact_scores.h"
#include "files/mapped_region.h"

/// The float just above the missing tolerance: |v - code| < tolerance, with the difference in
/// float and the comparison in double, is the same test as a float comparison with it.
float missing_bound();

/// The power of two (0, or negative) that brings a row whose largest |score| is `max_abs` below
/// the size at which some float sum of its statistics, over `nsubject` subjects, could
/// overflow: 2^30, or less with more than 2^23 subjects.
int score_scale_exponent(float max_abs, int nsubject);

class ScoreMatrix {
 public:
  int nsnp = 0;
  int nsubj = 0;
  MappedRegion storage;           ///< holds `values`: anonymous memory, or the mapped file
  const float* values = nullptr;  ///< nsnp rows of nsubj scores, as read (null when coded)
  bool coded = false;             ///< the rows are a compact file's codes, in `compact`
  CompactRows compact;
  float missing = -999;                        ///< the missing code
  std::vector<float> replacement;              ///< per subject: what its missing scores read as
  std::vector<unsigned char> row_has_missing;  ///< per SNP: 1 when its row holds a missing code
  /// Per SNP: the power of two (0 or below) its scores are multiplied by as the statistics see
  /// them, so that no float sum of a row with very large scores overflows; every statistic of
  /// the scores is unchanged by the scale. Empty when no row is scaled.
  std::vector<int> row_exponent;

  /// Room for up to `max_rows` rows of `nsubject` scores, filled by append_rows.
  void reserve(long long max_rows, int nsubject);
  /// Writable space for the next `n` rows (within the reserved room).
  float* append_rows(int n);
  /// Writable room for `count` scores after the rows so far, which append_rows then takes
  /// as rows; it stops the run when the reserved room is short.
  float* spare(std::size_t count);
  /// Uses the scores at `scores` (inside `map`) in place.
  void adopt(MappedRegion map, const float* scores, int rows, int nsubject);
  /// Uses the coded rows of a mapped compact file (inside `map`) in place.
  void adopt_coded(MappedRegion map, const CompactRows& rows);

  /// Finds the missing codes (the same test as Matrix::is_missing with eps 1e-6) and each
  /// subject's replacement ("zero", or "mean": the mean of its other scores over all SNPs, in
  /// double, SNP order), and the rows to scale down (row_exponent) when every score is a
  /// number. Returns the first cell (row * nsubj + column) that is not a finite
  /// number and not missing, or -1.
  long long find_missing(float missing_code, const std::string& method);

  /// Row r as the statistics see it: the stored row when it holds no missing code, otherwise
  /// `scratch` filled with the replaced values.
  const float* row(int r, std::vector<float>& scratch) const;
  /// One score as the statistics see it.
  float value(int r, int j) const;
  /// 2^row_exponent[r]: what row r is multiplied by as the statistics see it.
  float row_scale(int r) const;
  /// The stored row, missing codes included: in place, or decoded into `scratch` (nsubj floats).
  const float* stored_row(int r, float* scratch) const;
  bool is_missing(float v) const;

  /// Rows rows[0..nrows) as the statistics see them, written subject-major: score j of row
  /// l goes to out[j * lanes + l]; lanes from nrows to `lanes` get 0.
  void transpose_rows(const int* rows, int nrows, int lanes, float* out) const;

 private:
  /// Fills row_has_missing and each row's largest |score| that is not missing; returns the
  /// first cell that is neither finite nor missing, or -1.
  long long flag_rows_with_missing(std::vector<float>& row_max);
  /// Fills row_exponent from each row's largest |score| as the statistics see it.
  void choose_row_scales(const std::vector<float>& row_max);
  /// Each subject's mean of its scores that are not missing (0 when it has none).
  std::vector<float> subject_means() const;

  float* writable = nullptr;
  long long capacity_rows = 0;
};
