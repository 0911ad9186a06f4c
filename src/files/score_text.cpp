#include "files/score_text.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cli/fail.h"
#include "conventions.h"
#include "engine/parallel_for.h"
#include "files/tokenize.h"

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

/// The plain decimal forms of score files ([-]digits[.digits][e[+-]digits]) whose value is
/// exact in a double before one rounding: an integer mantissa below 2^53 times or divided by
/// an exact power of ten up to 10^22. One IEEE multiplication or division then rounds exactly
/// as a correctly rounded conversion does, so the result equals from_chars bit for bit.
/// Reads from `p` as far as the form goes and returns where it stopped, or nullptr for every
/// other form (which the general path then reads).
const char* scan_plain_decimal(const char* p, const char* end, double& number) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  // Up to 19 digits cannot overflow the mantissa; longer ones (leading zeros included) take
  // the general path.
  std::uint64_t mantissa = 0;
  const char* const first = p;
  for (; p != end && static_cast<unsigned char>(*p - '0') < 10; ++p)
    mantissa = mantissa * 10 + static_cast<unsigned char>(*p - '0');
  int digits = static_cast<int>(p - first), exponent = 0;
  if (p != end && *p == '.') {
    const char* const fraction = ++p;
    for (; p != end && static_cast<unsigned char>(*p - '0') < 10; ++p)
      mantissa = mantissa * 10 + static_cast<unsigned char>(*p - '0');
    exponent = -static_cast<int>(p - fraction);
    digits -= exponent;
  }
  if (digits > 19) return nullptr;
  if (digits == 0) return nullptr;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negative_exponent = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    int written = 0, exponent_digits = 0;
    for (; p != end && *p >= '0' && *p <= '9'; ++p) {
      if (++exponent_digits > 4) return nullptr;
      written = written * 10 + (*p - '0');
    }
    if (exponent_digits == 0) return nullptr;
    exponent += negative_exponent ? -written : written;
  }
  if (mantissa > (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22) return nullptr;
  const double m = static_cast<double>(mantissa);
  number = exponent < 0 ? m / kPowersOfTen[-exponent] : m * kPowersOfTen[exponent];
  if (negative) number = -number;
  return p;
}

/// Bytes of `v` (little-endian, first character lowest) that are ASCII digits, counted from the
/// first: 0 to 8. Each byte is tested on its own, with no carry between bytes.
inline int leading_digits(std::uint64_t v) {
  const std::uint64_t high = (v & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL;
  const std::uint64_t low =
      ((v & 0x0F0F0F0F0F0F0F0FULL) + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL;
  const std::uint64_t bad = high | low;  // a byte is non-zero where it is not a digit
  const std::uint64_t flags =
      (((bad & 0x7F7F7F7F7F7F7F7FULL) + 0x7F7F7F7F7F7F7F7FULL) | bad) & 0x8080808080808080ULL;
  return flags == 0 ? 8 : __builtin_ctzll(flags) / 8;
}

/// The value of the first `n` (1 to 8) characters of `v`, all digits, as one decimal number.
inline std::uint64_t digits_value(std::uint64_t v, int n) {
  // Digits moved to the top bytes, zeros below them as leading zeros; the borrows of the
  // subtraction only reach the bytes past the digits, which the shift drops.
  std::uint64_t t = (v - 0x3030303030303030ULL) << (8 * (8 - n));
  t = t * 10 + (t >> 8);
  t = (((t & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
       (((t >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
      32;
  return t;
}

/// scan_plain_decimal for the common short forms, eight characters at a time instead of one:
/// a field's digits are counted without a branch per digit. The text must be readable (and
/// not a digit) at `end`, and readable 8 bytes past it. Other forms go to scan_plain_decimal.
const char* scan_padded_decimal(const char* p, const char* end, double& number) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  static constexpr std::uint64_t kScale[] = {1,      10,      100,      1000,     10000,
                                             100000, 1000000, 10000000, 100000000};
  constexpr int kMaxDigits = 15;  // below 2^53 whatever they are
  const char* const start = p;
  const bool negative = *p == '-';
  if (negative) ++p;
  std::uint64_t chars = 0;
  std::memcpy(&chars, p, sizeof chars);
  const int whole = leading_digits(chars);
  if (whole == 8) return scan_plain_decimal(start, end, number);
  std::uint64_t mantissa = whole > 0 ? digits_value(chars, whole) : 0;
  p += whole;
  int fraction = 0;
  if (p < end && *p == '.') {
    ++p;
    std::memcpy(&chars, p, sizeof chars);
    fraction = leading_digits(chars);
    if (fraction > 0) mantissa = mantissa * kScale[fraction] + digits_value(chars, fraction);
    p += fraction;
    if (fraction == 8) {
      // Small scores written to six significant digits ("0.00090324") have eight or more.
      std::memcpy(&chars, p, sizeof chars);
      const int more = leading_digits(chars);
      if (more == 8 || whole + fraction + more > kMaxDigits)
        return scan_plain_decimal(start, end, number);
      if (more > 0) mantissa = mantissa * kScale[more] + digits_value(chars, more);
      fraction += more;
      p += more;
    }
  }
  if (whole + fraction == 0 || p > end) return nullptr;
  if (p < end && (*p == 'e' || *p == 'E')) return scan_plain_decimal(start, end, number);
  // At most 15 digits: below 2^53, so exact in a double; one division by an exact power of
  // ten then rounds as scan_plain_decimal's does.
  const double m = static_cast<double>(mantissa);
  number = fraction > 0 ? m / kPowersOfTen[fraction] : m;
  if (negative) number = -number;
  return p;
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
/// The score loop steps through it by hand (skip_delimiters, then reads a score at `at`), so
/// that a score is parsed in the same pass that finds its end.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view line) : at(line.data()), end(line.data() + line.size()) {}
  bool next(std::string_view& field) {
    skip_delimiters();
    const char* start = at;
    skip_field();
    field = std::string_view(start, static_cast<std::size_t>(at - start));
    return at > start;
  }
  /// Moves to the start of the next field; false at the end of the line.
  bool skip_delimiters() {
    while (at != end && is_delimiter(*at)) ++at;
    return at != end;
  }
  void skip_field() {
    while (at != end && !is_delimiter(*at)) ++at;
  }
  static bool is_delimiter(char c) {
    return delimiters.is_delimiter[static_cast<unsigned char>(c)];
  }

  const char* at;
  const char* const end;

 private:
  static const DelimiterTable delimiters;
};
const DelimiterTable FieldCursor::delimiters;

/// One part of a block (whole lines), parsed on its own thread into its own stretch of the
/// block's room.
struct Part {
  std::string_view text;
  float* out = nullptr;      ///< room for `capacity` scores
  std::size_t capacity = 0;  ///< at most every line's worth, and every score takes 2 bytes
  std::size_t kept = 0;      ///< scores of the whole data lines parsed
  std::vector<std::string> names;
  int physical_lines = 0;
  BadLine bad;
};

/// Room a part's scores can take: a line holds at most nsubj of them, and a score takes at
/// least two bytes of text (itself and what follows it), bar the text's last byte.
std::size_t part_capacity(std::string_view text, int nsubj) {
  if (text.empty()) return 0;
  std::size_t breaks = 0;
  for (const char *at = text.data(), *end = at + text.size();
       (at = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at))));
       ++at)
    ++breaks;
  const std::size_t lines = breaks + (text.back() != '\n' ? 1 : 0);
  return std::min(lines * static_cast<std::size_t>(nsubj), (text.size() + 1) / 2);
}

/// Reads one score at `p` (not a delimiter) of a line ending at `end`, and moves `p` past it.
/// A plain decimal followed by a delimiter is read where it stands; any other field goes
/// whole to parse_score_field. The text must be padded as scan_padded_decimal needs.
ScoreField read_score(const char*& p, const char* end, float& value, std::string_view& field) {
  double plain = 0;
  const char* stop = scan_padded_decimal(p, end, plain);
  if (stop != nullptr && (stop == end || FieldCursor::is_delimiter(*stop))) {
    field = std::string_view(p, static_cast<std::size_t>(stop - p));
    p = stop;
    // Always finite: a plain decimal is at most 2^53 * 10^22, inside float range.
    static_assert(9007199254740992.0 * 1e22 < 3.4e38, "plain decimals fit a float");
    value = static_cast<float>(plain);
    return ScoreField::ok;
  }
  const char* start = p;
  while (p != end && !FieldCursor::is_delimiter(*p)) ++p;
  field = std::string_view(start, static_cast<std::size_t>(p - start));
  return parse_score_field(field, value);
}

/// Splits and parses a part into its room; stops at the first bad line, which `part.bad` then
/// describes. A line with the wrong number of fields is reported as such even when one of its
/// fields is also not a number.
void parse_part(Part& part, int nsubj) {
  const auto expected = static_cast<std::size_t>(nsubj) + 1;
  for_each_line(part.text, [&](std::string_view line) {
    ++part.physical_lines;
    const auto describe = [&](BadLine::Kind kind) {
      part.bad.kind = kind;
      part.bad.line = part.physical_lines;
      part.bad.data_line = static_cast<int>(part.names.size()) + 1;
      return false;
    };
    // A NUL byte means the file is not text; the bytes around it would read as other names.
    if (line.find('\0') != std::string_view::npos) return describe(BadLine::nul_byte);
    FieldCursor cursor(line);
    std::string_view name;
    if (!cursor.next(name) || name[0] == kCommentMarker) return true;
    float* out = part.out + part.kept;
    std::size_t found = 1;
    BadLine first_bad_value;
    while (cursor.skip_delimiters()) {
      ++found;
      if (found > expected || first_bad_value.status != ScoreField::ok) {
        cursor.skip_field();
        continue;
      }
      std::string_view field;
      const ScoreField status = read_score(cursor.at, cursor.end, *out++, field);
      if (status != ScoreField::ok) {
        first_bad_value.status = status;
        first_bad_value.column = found;
        first_bad_value.field = std::string(field);
      }
    }
    if (found != expected) {
      part.bad.found = found;
      return describe(BadLine::field_count);
    }
    if (first_bad_value.status != ScoreField::ok) {
      part.bad.status = first_bad_value.status;
      part.bad.column = first_bad_value.column;
      part.bad.field = first_bad_value.field;
      return describe(BadLine::field_value);
    }
    part.kept += expected - 1;
    part.names.emplace_back(name);
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
      return "error: score '" + quote_prefix(bad.field) + "' in field " +
             std::to_string(bad.column) + " on line " + line + " of file " + path + " " +
             (bad.status == ScoreField::not_finite ? "is not a finite number" : "is not a number") +
             " (a missing score is written as the missing code, --miss_val)";
    default:
      return "error: expect " + std::to_string(nsubj + 1) + " fields in file " + path +
             ", but found " + std::to_string(bad.found) + " on line " +
             std::to_string(data_lines_before + bad.data_line);
  }
}
}  // namespace

ScoreField parse_score_field(std::string_view field, float& value) {
  const char* begin = field.data();
  const char* end = begin + field.size();
  double plain = 0;
  const char* stop = scan_plain_decimal(begin, end, plain);
  if (stop != nullptr && stop == end) {
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
  struct stat status;
  if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
    mapping = MappedRegion::of_descriptor(descriptor, static_cast<std::size_t>(size), path);
    if (mapping.address != nullptr) madvise(mapping.address, mapping.length, MADV_SEQUENTIAL);
  }
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

/// The next block parsed where it lies in the mapped file. A block ends at a line break with
/// at least kPadding more bytes of the file after it, for the parser's word-sized reads; what
/// is left once no such break remains goes through the buffer (false, the mapping dropped).
bool ScoreTextReader::parse_mapped_block() {
  const char* const file = static_cast<const char*>(mapping.address);
  if (at_start) {
    at_start = false;
    mapped_offset = byte_order_mark_length(std::string_view(file, static_cast<std::size_t>(size)));
  }
  const std::size_t rest = static_cast<std::size_t>(size) - mapped_offset;
  std::size_t complete = 0;
  for (std::size_t take = block_bytes; complete == 0 && take + kPadding < rest; take *= 2)
    complete = std::string_view(file + mapped_offset, take).rfind('\n') + 1;  // npos + 1 == 0
  if (complete == 0) {
    mapping.stop_if_file_changed();  // what was parsed from the mapping is the file's
    lseek(descriptor, static_cast<off_t>(mapped_offset), SEEK_SET);
    mapping = MappedRegion();
    return false;
  }
  const std::string_view text(file + mapped_offset, complete);
  if (nsubj == 0) find_width(text);
  parse_block(text);
  // The parsed pages stay in the page cache; unmapping them keeps the resident size to a block.
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t first = mapped_offset / page * page;
  const std::size_t last = (mapped_offset + complete) / page * page;
  if (last > first) madvise(const_cast<char*>(file) + first, last - first, MADV_DONTNEED);
  mapped_offset += complete;
  return true;
}

bool ScoreTextReader::read_block() {
  if (mapping.address != nullptr && parse_mapped_block()) return true;
  // Fill the buffer up to a block, keep what follows the last line break for the next block.
  // The buffer is raw memory: zeroing a block only for read() to overwrite it costs time.
  std::size_t filled = buffer_length;
  const auto block = std::min<std::size_t>(block_bytes, static_cast<std::size_t>(size) + 1);
  const std::size_t want = std::max(block, filled * 2);
  if (want > buffer_capacity) {
    // Room past the text for the parser's 8-byte reads; kPadding zeros follow the text.
    std::unique_ptr<char[]> bigger(new char[want + kPadding]);
    if (filled > 0) std::memcpy(bigger.get(), buffer.get(), filled);
    buffer = std::move(bigger);
    buffer_capacity = want;
  }
  while (filled < want) {
    const ssize_t n = read(descriptor, buffer.get() + filled, want - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail_stderr("error: cannot read " + path + ": " + std::strerror(errno));
    if (n == 0) {
      at_end = true;
      break;
    }
    filled += static_cast<std::size_t>(n);
  }
  buffer_length = filled;
  if (at_start && filled >= 3) {
    at_start = false;
    drop_from_buffer(byte_order_mark_length(std::string_view(buffer.get(), filled)));
  }
  std::memset(buffer.get() + buffer_length, 0, kPadding);
  const std::string_view all(buffer.get(), buffer_length);
  std::size_t complete = at_end ? all.size() : all.rfind('\n') + 1;  // npos + 1 == 0
  if (complete == 0 && !at_end) {  // one line longer than the block: read more, within bounds
    check_line_length(buffer_length);
    return true;
  }
  const std::string_view text = all.substr(0, complete);
  if (nsubj == 0) find_width(text);

  parse_block(text);
  drop_from_buffer(complete);
  return true;
}

void ScoreTextReader::check_line_length(std::size_t bytes) const {
  // Before the first line is known its length is bounded by the file alone; after it, by its
  // field count: a line of the same fields cannot be many times longer.
  if (nsubj == 0) return;
  const std::size_t limit = (static_cast<std::size_t>(nsubj) + 1) * kMaxScoreFieldBytes;
  if (bytes <= limit) return;
  fail_stderr("error: line " + std::to_string(physical_lines + 1) + " of file " + path +
              " goes on for more than " + std::to_string(limit) + " bytes without a line end (" +
              std::to_string(nsubj + 1) + " fields of at most " +
              std::to_string(kMaxScoreFieldBytes) + " bytes each, as the first line has)");
}

void ScoreTextReader::drop_from_buffer(std::size_t count) {
  std::memmove(buffer.get(), buffer.get() + count, buffer_length - count);
  buffer_length -= count;
}

float* ScoreTextReader::block_room(std::size_t count) {
  if (count == 0) return nullptr;
  if (room) return room(count);
  if (own_room_size < count) {
    own_room.reset(new float[count]);  // not zeroed: every kept score is written first
    own_room_size = count;
  }
  return own_room.get();
}

void ScoreTextReader::parse_block(std::string_view text) {
  // Parts end at line breaks; each is split and parsed on its own, into its own stretch of
  // the block's room, so the scores are written once, where they will stay.
  const int threads = worker_threads();
  const std::size_t nparts =
      std::max<std::size_t>(1, std::min<std::size_t>({static_cast<std::size_t>(threads) * 4,
                                                      text.size() / 65536 + 1, kMaxParts}));
  std::vector<Part> parts(nparts);
  std::size_t from = 0, room_needed = 0;
  for (std::size_t p = 0; p < nparts; ++p) {
    std::size_t to = text.size();
    if (p + 1 < nparts) {
      const std::size_t nl = text.find('\n', std::max(from, text.size() * (p + 1) / nparts));
      to = nl == std::string_view::npos ? text.size() : nl + 1;
    }
    parts[p].text = text.substr(from, to - from);
    from = to;
  }
  // Counting a block's line breaks is a pass over it too: shared like the parsing.
  parallel_for(static_cast<int>(nparts), threads, [&](int p) {
    Part& part = parts[static_cast<std::size_t>(p)];
    part.capacity = part_capacity(part.text, nsubj);
  });
  for (const Part& part : parts) room_needed += part.capacity;
  float* const out = block_room(room_needed);
  std::size_t offset = 0;
  for (Part& part : parts) {
    part.out = out + offset;
    offset += part.capacity;
  }
  parallel_for(static_cast<int>(nparts), threads,
               [&](int p) { parse_part(parts[static_cast<std::size_t>(p)], nsubj); });

  // Close the gaps the parts left (comment lines, the room of a bad line), number the rows,
  // and turn the first bad line into its message.
  parsed.names.clear();
  parsed.first_line = data_lines + 1;
  std::size_t filled = 0;
  for (Part& part : parts) {
    if (part.kept > 0 && part.out != out + filled)
      std::memmove(out + filled, part.out, part.kept * sizeof(float));
    filled += part.kept;
    for (std::string& name : part.names) parsed.names.push_back(std::move(name));
    if (part.bad.kind != BadLine::none) {
      pending_error = bad_line_message(part.bad, path, nsubj, data_lines, physical_lines);
      break;
    }
    physical_lines += part.physical_lines;
  }
  data_lines += static_cast<int>(parsed.names.size());
  parsed.values = out;
  block_ready = true;
}

bool ScoreTextReader::next(ScoreTextRows& rows) {
  while (!block_ready) {
    if (!pending_error.empty()) fail_stderr(pending_error);
    if (at_end && buffer_length == 0) return false;
    read_block();
  }
  block_ready = false;
  std::swap(rows.names, parsed.names);
  rows.values = parsed.values;
  rows.first_line = parsed.first_line;
  return true;
}
