#include "files/line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "cli/fail.h"
#include "files/tokenize.h"

LineReader::LineReader(const std::string& file_path, InputWording input_wording)
    : path(file_path), wording(std::move(input_wording)), chunk(1 << 16) {
  if (is_directory(path)) fail_stderr("error: " + path + " is a directory");
  file = gzopen(path.c_str(), "rb");
  // Should the wording not stop the run, the reader stays empty: it reads no line.
  if (file == nullptr) {
    wording.cannot_open(path, std::strerror(errno));
    return;
  }
  gzbuffer(file, 1 << 17);
}

LineReader::~LineReader() {
  if (file != nullptr) gzclose(file);
}

bool LineReader::fill_chunk() {
  if (file == nullptr) return false;
  const int n = gzread(file, chunk.data(), static_cast<unsigned>(chunk.size()));
  int code = Z_OK;
  const char* message = gzerror(file, &code);
  // A stream cut short reads as a short chunk with an error recorded; so does a damaged one.
  if (n < 0 || (n == 0 && code != Z_OK))
    fail_stderr(wording.damaged_data(path, line_number, message));
  chunk_start = 0;
  chunk_end = static_cast<std::size_t>(n);
  return n > 0;
}

bool LineReader::read_line(std::string& line) {
  line.clear();
  bool got_any = false;
  // A line may span several chunks; the newline ends it.
  while (chunk_start < chunk_end || fill_chunk()) {
    got_any = true;
    const char* begin = chunk.data() + chunk_start;
    const auto* newline =
        static_cast<const char*>(std::memchr(begin, '\n', chunk_end - chunk_start));
    const std::size_t length =
        newline != nullptr ? static_cast<std::size_t>(newline - begin) : chunk_end - chunk_start;
    // Checked before the piece is kept: the line never holds a NUL nor grows past the limit.
    if (std::memchr(begin, '\0', length) != nullptr)
      fail_stderr(wording.nul_byte(path, line_number + 1));
    if (line.size() + length > max_line_bytes + 1)  // room for a carriage return before the end
      fail_stderr(wording.line_too_long(path, line_number + 1, max_line_bytes));
    line.append(begin, length);
    chunk_start += length;
    if (newline != nullptr) {
      ++chunk_start;
      break;
    }
  }
  if (!got_any) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  ++line_number;
  if (line.size() > max_line_bytes)
    fail_stderr(wording.line_too_long(path, line_number, max_line_bytes));
  if (line_number == 1) line.erase(0, byte_order_mark_length(line));
  return true;
}

std::string LineReader::where() const { return path + " line " + std::to_string(line_number); }

std::string quote_prefix(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::size_t cut = std::min(text.size(), kShown);
  while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
    --cut;
  // Control bytes (a NUL, an escape sequence) would reach the terminal: shown as \xHH.
  static const char kHex[] = "0123456789abcdef";
  std::string shown;
  for (const char c : text.substr(0, cut)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 15];
    } else {
      shown += c;
    }
  }
  return cut < text.size() ? shown + "..." : shown;
}
