#include "score_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "constants.h"
#include "fail.h"
#include "parallel_for.h"
#include "tokenize.h"

namespace {
/// Lines of `text` one by one, split at '\n' with one trailing '\r' dropped.
template <class F>
void for_each_line(std::string_view text, F&& f) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!f(line)) return;
    pos = end + 1;
  }
}

/// The first line of a part that stops the run, with what its message needs.
struct BadLine {
  enum Kind { none, field_count, field_value, nul_byte } kind = none;
  int data_line = 0;  ///< within the part, 1-based, data lines only
  int line = 0;       ///< within the part, 1-based, every line
  std::size_t found = 0;
  std::size_t column = 0;  ///< 1-based field number of a bad score
  std::string field;
  ScoreField status = ScoreField::ok;
};

/// Which bytes separate fields, built once: the cursor runs over every score of the file.
struct DelimiterTable {
  bool is_delimiter[256] = {};
  DelimiterTable() {
    for (unsigned char c : kFieldDelimiters) is_delimiter[c] = true;
  }
};

/// The fields of a line, one at a time, without building a list: score lines have thousands.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view line) : text(line) {}
  bool next(std::string_view& field) {
    const std::size_t n = text.size();
    while (pos < n && delimiters.is_delimiter[static_cast<unsigned char>(text[pos])]) ++pos;
    const std::size_t start = pos;
    while (pos < n && !delimiters.is_delimiter[static_cast<unsigned char>(text[pos])]) ++pos;
    field = text.substr(start, pos - start);
    return pos > start;
  }

 private:
  static const DelimiterTable delimiters;
  std::string_view text;
  std::size_t pos = 0;
};
const DelimiterTable FieldCursor::delimiters;

/// Splits and parses one part of a block (whole lines) into `rows`; stops at the first bad
/// line, which `bad` then describes. A line with the wrong number of fields is reported as
/// such even when one of its fields is also not a number.
void parse_part(std::string_view text, int nsubj, ScoreTextRows& rows, BadLine& bad) {
  // Room for every line as a data line up front: growing the vector line by line would copy
  // the part over and over, and resizing would zero what is about to be parsed.
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  rows.values.reserve(lines * static_cast<std::size_t>(nsubj));
  const auto expected = static_cast<std::size_t>(nsubj) + 1;
  for_each_line(text, [&](std::string_view line) {
    ++rows.physical_lines;
    const auto describe = [&](BadLine::Kind kind) {
      bad.kind = kind;
      bad.line = rows.physical_lines;
      bad.data_line = static_cast<int>(rows.names.size()) + 1;
      return false;
    };
    // A NUL byte means the file is not text; the bytes around it would read as other names.
    if (line.find('\0') != std::string_view::npos) return describe(BadLine::nul_byte);
    FieldCursor cursor(line);
    std::string_view name, field;
    if (!cursor.next(name) || name[0] == kCommentMarker) return true;
    const std::size_t at = rows.values.size();
    std::size_t found = 1;
    BadLine first_bad_value;
    while (cursor.next(field)) {
      ++found;
      if (found > expected || first_bad_value.status != ScoreField::ok) continue;
      float value = 0;
      const ScoreField status = parse_score_field(field, value);
      rows.values.push_back(value);
      if (status != ScoreField::ok) {
        first_bad_value.status = status;
        first_bad_value.column = found;
        first_bad_value.field = std::string(field);
      }
    }
    if (found != expected || first_bad_value.status != ScoreField::ok) {
      rows.values.resize(at);
      if (found != expected) {
        bad.found = found;
        return describe(BadLine::field_count);
      }
      bad.status = first_bad_value.status;
      bad.column = first_bad_value.column;
      bad.field = first_bad_value.field;
      return describe(BadLine::field_value);
    }
    rows.names.emplace_back(name);
    return true;
  });
}

std::string bad_line_message(const BadLine& bad, const std::string& path, int nsubj,
                             int data_lines_before, int lines_before) {
  const std::string line = std::to_string(lines_before + bad.line);
  switch (bad.kind) {
    case BadLine::nul_byte:
      return "error: NUL byte on line " + line + " of file " + path + ": not a text file";
    case BadLine::field_value:
      return "error: score '" + bad.field + "' in field " + std::to_string(bad.column) +
             " on line " + line + " of file " + path + " " +
             (bad.status == ScoreField::not_finite ? "is not a finite number" : "is not a number") +
             " (a missing score is written as the missing code, --miss_val)";
    default:
      return "error: expect " + std::to_string(nsubj + 1) + " fields in file " + path +
             ", but found " + std::to_string(bad.found) + " on line " +
             std::to_string(data_lines_before + bad.data_line);
  }
}
}  // namespace

namespace {
/// The plain decimal forms of score files ([-]digits[.digits][e[+-]digits]) whose value is
/// exact in a double before one rounding: an integer mantissa below 2^53 times or divided by
/// an exact power of ten up to 10^22. One IEEE multiplication or division then rounds exactly
/// as a correctly rounded conversion does, so the result equals from_chars bit for bit.
/// Returns false for every other form, which the general path then reads.
bool parse_plain_decimal(const char* p, const char* end, double& number) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  std::uint64_t mantissa = 0;
  int digits = 0, significant = 0, exponent = 0;
  const auto take_digit = [&](char c) {
    if (significant > 0 || c != '0') ++significant;
    if (significant > 19) return false;
    mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
    ++digits;
    return true;
  };
  for (; p != end && *p >= '0' && *p <= '9'; ++p)
    if (!take_digit(*p)) return false;
  if (p != end && *p == '.') {
    for (++p; p != end && *p >= '0' && *p <= '9'; ++p) {
      if (!take_digit(*p)) return false;
      --exponent;
    }
  }
  if (digits == 0) return false;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negative_exponent = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    int written = 0, exponent_digits = 0;
    for (; p != end && *p >= '0' && *p <= '9'; ++p) {
      if (++exponent_digits > 4) return false;
      written = written * 10 + (*p - '0');
    }
    if (exponent_digits == 0) return false;
    exponent += negative_exponent ? -written : written;
  }
  if (p != end || mantissa > (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22)
    return false;
  const double m = static_cast<double>(mantissa);
  number = exponent < 0 ? m / kPowersOfTen[-exponent] : m * kPowersOfTen[exponent];
  if (negative) number = -number;
  return true;
}
}  // namespace

ScoreField parse_score_field(std::string_view field, float& value) {
  const char* begin = field.data();
  const char* end = begin + field.size();
  double plain = 0;
  if (parse_plain_decimal(begin, end, plain)) {
    value = static_cast<float>(plain);
    return std::isfinite(value) ? ScoreField::ok : ScoreField::not_finite;
  }
  // from_chars is several times faster than strtod and rounds identically; the forms it does
  // not take (a leading '+', hexadecimal, out of range) go to strtod, which must then consume
  // the whole field and may not skip leading white space of its own.
  double number = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, number);
  if (ec != std::errc() || ptr != end) {
    if (field.empty() || std::isspace(static_cast<unsigned char>(field[0]))) {
      return ScoreField::not_a_number;
    }
    const std::string text(field);
    char* parsed_end = nullptr;
    number = std::strtod(text.c_str(), &parsed_end);
    if (parsed_end != text.c_str() + text.size()) return ScoreField::not_a_number;
  }
  value = static_cast<float>(number);
  // Infinity, NaN and numbers beyond float range would turn every statistic into NaN.
  return std::isfinite(value) ? ScoreField::ok : ScoreField::not_finite;
}

ScoreTextReader::ScoreTextReader(std::string file_path) : path(std::move(file_path)) {
  if (is_directory(path)) fail_stderr("error: " + path + " is a directory");
  descriptor = open(path.c_str(), O_RDONLY);
  if (descriptor < 0) fail_stderr("error: " + path + "not found");
  const off_t end = lseek(descriptor, 0, SEEK_END);
  size = end > 0 ? static_cast<long long>(end) : 0;
  lseek(descriptor, 0, SEEK_SET);
  posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
}

ScoreTextReader::~ScoreTextReader() {
  if (descriptor >= 0) close(descriptor);
}

void ScoreTextReader::find_width(std::string_view text) {
  for_each_line(text, [&](std::string_view line) {
    FieldCursor cursor(line);
    std::string_view field;
    if (!cursor.next(field) || field[0] == kCommentMarker) return true;
    int fields = 1;
    while (cursor.next(field)) ++fields;
    if (fields < 2) fail_stderr("error: < 2 items on line 1 of snp_score file");
    nsubj = fields - 1;
    return false;
  });
}

bool ScoreTextReader::read_block() {
  // Fill the buffer up to a block, keep what follows the last line break for the next block.
  std::size_t filled = buffer.size();
  const auto block = std::min<std::size_t>(block_bytes, static_cast<std::size_t>(size) + 1);
  buffer.resize(std::max(block, filled * 2));
  while (filled < buffer.size()) {
    const ssize_t n = read(descriptor, &buffer[filled], buffer.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail_stderr("error: cannot read " + path + ": " + std::strerror(errno));
    if (n == 0) {
      at_end = true;
      break;
    }
    filled += static_cast<std::size_t>(n);
  }
  buffer.resize(filled);
  if (physical_lines == 0 && data_lines == 0 && buffer.compare(0, 3, "\xEF\xBB\xBF") == 0)
    buffer.erase(0, 3);  // a UTF-8 byte-order mark would glue itself to the first name
  filled = buffer.size();
  std::size_t complete = at_end ? filled : buffer.rfind('\n') + 1;  // npos + 1 == 0
  if (complete == 0 && !at_end) return true;  // one line longer than the block: read more
  const std::string_view text(buffer.data(), complete);
  if (nsubj == 0) find_width(text);

  // Parts end at line breaks; each is split and parsed on its own.
  const int threads = worker_threads();
  const std::size_t nparts = std::max<std::size_t>(
      1, std::min<std::size_t>(static_cast<std::size_t>(threads) * 4, complete / 65536 + 1));
  std::vector<std::size_t> cuts{0};
  for (std::size_t p = 1; p < nparts; ++p) {
    std::size_t at = std::max(cuts.back(), complete * p / nparts);
    const std::size_t nl = text.find('\n', at);
    at = nl == std::string_view::npos ? complete : nl + 1;
    cuts.push_back(at);
  }
  cuts.push_back(complete);
  // Parts keep their vectors from block to block (next() swaps them with the caller's), so
  // the memory of a block is allocated once, not once per block.
  parts.resize(cuts.size() - 1);
  for (ScoreTextRows& part : parts) {
    part.names.clear();
    part.values.clear();
    part.physical_lines = 0;
  }
  std::vector<BadLine> bad(parts.size());
  parallel_for(static_cast<int>(parts.size()), threads, [&](int p) {
    const auto part = static_cast<std::size_t>(p);
    parse_part(text.substr(cuts[part], cuts[part + 1] - cuts[part]), nsubj, parts[part], bad[part]);
  });
  // Number the parts in order, and turn the first bad line into its message.
  for (std::size_t p = 0; p < parts.size(); ++p) {
    parts[p].first_line = data_lines + 1;
    if (bad[p].kind != BadLine::none) {
      pending_error = bad_line_message(bad[p], path, nsubj, data_lines, physical_lines);
      parts.resize(p + 1);
      break;
    }
    data_lines += static_cast<int>(parts[p].names.size());
    physical_lines += parts[p].physical_lines;
  }
  buffer.erase(0, complete);
  next_part = 0;
  return true;
}

bool ScoreTextReader::next(ScoreTextRows& rows) {
  while (next_part == parts.size()) {
    if (!pending_error.empty()) fail_stderr(pending_error);
    if (at_end && buffer.empty()) return false;
    read_block();
  }
  std::swap(rows, parts[next_part++]);
  return true;
}
