#include "score_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

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

bool is_data_line(const std::vector<std::string_view>& fields) {
  return !fields.empty() && fields[0][0] != '#';
}

std::string field_count_error(const std::string& path, int nsubj, std::size_t found, int line) {
  return "error: expect " + std::to_string(nsubj + 1) + " fields in file " + path + ", but found " +
         std::to_string(found) + " on line " + std::to_string(line);
}
}  // namespace

float parse_score(std::string_view field) {
  // from_chars is several times faster than strtod and rounds identically; the forms it does
  // not take (a leading '+', hexadecimal, out of range) go to strtod.
  const char* begin = field.data();
  const char* end = begin + field.size();
  double value = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  const bool hexadecimal = ptr != end && (*ptr == 'x' || *ptr == 'X');  // "0x..." stops at x
  if (ec != std::errc() || hexadecimal || ptr == begin)
    value = std::strtod(std::string(field).c_str(), nullptr);
  return static_cast<float>(value);
}

ScoreTextReader::ScoreTextReader(std::string file_path) : path(std::move(file_path)) {
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
  std::vector<std::string_view> fields;
  for_each_line(text, [&](std::string_view line) {
    tokenize_views(line, fields, kFieldDelimiters);
    if (!is_data_line(fields)) return true;
    if (fields.size() < 2) fail_stderr("error: < 2 items on line 1 of snp_score file");
    nsubj = static_cast<int>(fields.size()) - 1;
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
  parts.assign(cuts.size() - 1, ScoreTextRows());
  std::vector<int> bad_line(parts.size(), 0);  // 1-based within the part; 0: none
  std::vector<std::size_t> bad_found(parts.size(), 0);
  parallel_for(static_cast<int>(parts.size()), threads, [&](int p) {
    ScoreTextRows& rows = parts[static_cast<std::size_t>(p)];
    std::vector<std::string_view> fields;
    const auto part = static_cast<std::size_t>(p);
    for_each_line(text.substr(cuts[part], cuts[part + 1] - cuts[part]), [&](std::string_view line) {
      tokenize_views(line, fields, kFieldDelimiters);
      if (!is_data_line(fields)) return true;
      if (static_cast<int>(fields.size()) != nsubj + 1) {
        bad_line[part] = static_cast<int>(rows.names.size()) + 1;
        bad_found[part] = fields.size();
        return false;
      }
      rows.names.emplace_back(fields[0]);
      const std::size_t at = rows.values.size();
      rows.values.resize(at + static_cast<std::size_t>(nsubj));
      for (int j = 0; j < nsubj; ++j)
        rows.values[at + static_cast<std::size_t>(j)] =
            parse_score(fields[static_cast<std::size_t>(j) + 1]);
      return true;
    });
  });
  // Number the parts in order, and turn the first bad line into its message.
  for (std::size_t p = 0; p < parts.size(); ++p) {
    parts[p].first_line = data_lines + 1;
    if (bad_line[p] > 0) {
      pending_error = field_count_error(path, nsubj, bad_found[p], data_lines + bad_line[p]);
      parts.resize(p + 1);
      break;
    }
    data_lines += static_cast<int>(parts[p].names.size());
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
  rows = std::move(parts[next_part++]);
  return true;
}
