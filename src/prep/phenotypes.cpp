#include "prep/phenotypes.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <unordered_map>

#include "cli/fail.h"
#include "prep/text_input.h"

namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

/// Parses a value cell; false for text that is neither a number nor a missing-value word.
bool parse_value(const std::string& text, double& value) {
  if (text == "-9" || text == "NA" || text == "na" || text == "nan" || text == "NaN") {
    value = kMissing;
    return true;
  }
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || !std::isfinite(value)) return false;
  if (value == -9) value = kMissing;  // "-9.0" and friends
  return true;
}

std::string subject_key(const std::string& family_id, const std::string& individual_id,
                        SubjectMatch match) {
  if (match == SubjectMatch::individual_only) return individual_id;
  return family_id + '\t' + individual_id;
}

std::string list_names(const std::vector<std::string>& names, std::size_t from) {
  std::string text;
  for (std::size_t i = from; i < names.size(); ++i) text += (i > from ? ", " : "") + names[i];
  return text.empty() ? "none" : text;
}

bool equals_ignoring_case(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return i == a.size() && b[i] == '\0';
}

/// Positions in the header of the wanted columns (every value column when none is named).
std::vector<std::size_t> find_columns(const LineReader& in, const std::vector<std::string>& header,
                                      const std::vector<std::string>& wanted) {
  std::vector<std::size_t> positions;
  if (wanted.empty()) {
    for (std::size_t i = 2; i < header.size(); ++i) positions.push_back(i);
    return positions;
  }
  for (const std::string& name : wanted) {
    std::size_t found = 0;
    for (std::size_t i = 2; i < header.size() && found == 0; ++i) {
      if (header[i] == name) found = i;
    }
    if (found == 0) {
      fail_stderr("error: " + in.where() + ": no column named '" + quote_prefix(name) +
                  "' (columns: " + list_names(header, 2) + ")");
    }
    positions.push_back(found);
  }
  return positions;
}

}  // namespace

SubjectColumns load_subject_columns(const std::string& path, const std::vector<std::string>& wanted,
                                    const std::vector<FamRecord>& fam, SubjectMatch match) {
  std::unordered_map<std::string, std::size_t> fam_index;
  for (std::size_t i = 0; i < fam.size(); ++i) {
    fam_index.emplace(subject_key(fam[i].family_id, fam[i].individual_id, match), i);
  }
  LineReader in(path, prep_wording());
  std::string line;
  std::vector<std::string> header;
  bool has_line = in.read_line(line);
  while (has_line && is_blank(line)) has_line = in.read_line(line);
  if (!has_line) fail_stderr("error: " + path + ": empty; expected a header line FID IID ...");
  split_whitespace(line, header);
  if (header.size() < 2 || !equals_ignoring_case(header[0], "FID") ||
      !equals_ignoring_case(header[1], "IID")) {
    fail_stderr("error: " + in.where() + ": expected a header line starting with FID IID");
  }
  const std::vector<std::size_t> positions = find_columns(in, header, wanted);
  SubjectColumns table;
  for (std::size_t p : positions) table.names.push_back(header[p]);
  table.values.assign(positions.size(), std::vector<double>(fam.size(), kMissing));

  std::vector<long> seen_on_line(fam.size(), 0);
  std::vector<std::string> fields;
  while (in.read_line(line)) {
    if (is_blank(line)) continue;
    split_whitespace(line, fields);
    if (fields.size() != header.size()) {
      fail_stderr("error: " + in.where() + ": " + std::to_string(fields.size()) +
                  " columns, but the header has " + std::to_string(header.size()));
    }
    const auto subject = fam_index.find(subject_key(fields[0], fields[1], match));
    if (subject == fam_index.end()) {
      ++table.rows_not_in_fam;
      continue;
    }
    long& first_line = seen_on_line[subject->second];
    if (first_line != 0) {
      fail_stderr("error: " + in.where() + ": subject " + quote_prefix(fields[0]) + " " +
                  quote_prefix(fields[1]) + " already appeared on line " +
                  std::to_string(first_line));
    }
    first_line = in.line_number;
    for (std::size_t c = 0; c < positions.size(); ++c) {
      if (!parse_value(fields[positions[c]], table.values[c][subject->second])) {
        fail_stderr("error: " + in.where() + ": column " + table.names[c] + ": '" +
                    quote_prefix(fields[positions[c]]) +
                    "' is not a number (missing values: -9 or NA)");
      }
    }
  }
  return table;
}

std::vector<double> load_fam_phenotype(const std::string& fam_path,
                                       const std::vector<FamRecord>& fam) {
  std::vector<double> phenotype(fam.size());
  for (std::size_t i = 0; i < fam.size(); ++i) {
    if (!parse_value(fam[i].phenotype, phenotype[i])) {
      fail_stderr("error: " + fam_path + " line " + std::to_string(i + 1) + ": phenotype '" +
                  quote_prefix(fam[i].phenotype) +
                  "' is not a number (missing values: -9, NA, or 0 for " + "case/control)");
    }
  }
  return phenotype;
}

bool apply_case_control_coding(std::vector<double>& phenotype, bool zero_one_coding) {
  for (double value : phenotype) {
    if (std::isnan(value)) continue;
    const bool allowed = value == 0 || value == 1 || (!zero_one_coding && value == 2);
    if (!allowed) return false;
  }
  if (!zero_one_coding) {
    for (double& value : phenotype) {
      if (value == 0) value = kMissing;
    }
  }
  return true;
}

std::vector<std::string> split_names(const std::string& list) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(',', start), list.size());
    if (end > start) names.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}
