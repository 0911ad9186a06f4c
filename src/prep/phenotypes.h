// Phenotypes and covariates per subject of a .fam file, from the .fam itself or from tables
// with a "FID IID name1 name2 ..." header.
#pragma once

#include <string>
#include <vector>

#include "prep/plink.h"

/// How a table row finds its subject: by FID and IID (PLINK sets), or by IID alone (VCF
/// files, whose samples have one name).
enum class SubjectMatch { family_and_individual, individual_only };

/// Named columns of values, one entry per .fam subject; NaN marks a missing value.
struct SubjectColumns {
  std::vector<std::string> names;
  std::vector<std::vector<double>> values;  ///< values[column][subject in .fam order]
  long rows_not_in_fam = 0;                 ///< table rows whose FID and IID the .fam lacks
};

/// Reads the columns named in `wanted` (all value columns when empty) from a table with a
/// "FID IID ..." header. Subjects the table lacks get NaN. "-9" and "NA" read as missing;
/// other text that is not a number, a missing column, a repeated subject or a short row stops
/// the run with the file and line.
SubjectColumns load_subject_columns(const std::string& path, const std::vector<std::string>& wanted,
                                    const std::vector<FamRecord>& fam,
                                    SubjectMatch match = SubjectMatch::family_and_individual);

/// Column 6 of the .fam as numbers, with the same missing-value words.
std::vector<double> load_fam_phenotype(const std::string& fam_path,
                                       const std::vector<FamRecord>& fam);

/// Case/control phenotypes: with 1/2 coding (the default) a phenotype whose present values are
/// all 0, 1 or 2 is case/control and 0 marks a missing value; with 0/1 coding 0 is a control.
/// Sets the missing values to NaN and returns true when the phenotype is case/control.
bool apply_case_control_coding(std::vector<double>& phenotype, bool zero_one_coding);

/// Splits "A,B,C" into its names.
std::vector<std::string> split_names(const std::string& list);
