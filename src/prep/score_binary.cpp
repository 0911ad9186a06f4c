#include "prep/score_binary.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <iostream>
#include <set>

#include "cli/fail.h"
#include "files/binary_score_file.h"
#include "files/score_text.h"
#include "files/tokenize.h"

BinaryScoreWriter::BinaryScoreWriter(const std::string& path) : out(path) {
  out.write(std::string(kScoreHeaderBytes, '\0'));
}

void append_snp_name(const std::string& path, std::string& names, const std::string& name) {
  const std::string reason = bad_snp_name_reason(name);
  if (!reason.empty())
    fail_stderr("error: " + path + ": SNP name '" + quote_prefix(name) + "' " + reason);
  names += name;
  names += '\n';
}

void BinaryScoreWriter::write_row(const std::string& name, const float* scores) {
  append_snp_name(out.path, names, name);
  out.write(std::string_view(reinterpret_cast<const char*>(scores),
                             static_cast<std::size_t>(nsubj) * sizeof(float)));
  ++nsnp;
}

void BinaryScoreWriter::commit() {
  out.write(names);
  const ScoreFileHeader header = make_score_header(static_cast<std::uint64_t>(nsnp),
                                                   static_cast<std::uint64_t>(nsubj), names.size());
  out.overwrite(0, encode_score_header(header));
  out.commit();
}

PackSummary pack_score_file(const std::string& text_path, const std::string& binary_path) {
  // Its first byte is read to tell text from binary: a pipe would lose it to the text reader.
  if (is_stream(text_path))
    fail_stderr("error: pack: " + text_path +
                " is not a regular file: write the scores to a file first");
  if (is_binary_score_file(text_path))
    fail_stderr("error: pack: " + text_path + " is a binary score file already");
  ScoreTextReader reader(text_path);
  BinaryScoreWriter writer(binary_path);
  PackSummary summary;
  std::set<std::string> seen;
  ScoreTextRows rows;
  while (reader.next(rows)) {
    writer.nsubj = reader.nsubj;
    for (std::size_t i = 0; i < rows.names.size(); ++i) {
      if (!seen.insert(rows.names[i]).second) ++summary.repeated_names;
      writer.write_row(rows.names[i], rows.values + i * static_cast<std::size_t>(reader.nsubj));
    }
  }
  // halvorix refuses a score file without SNPs: stop before it is written.
  if (writer.nsnp == 0) fail_stderr("error: pack: " + text_path + ": no SNP lines to pack");
  writer.nsubj = reader.nsubj;
  writer.commit();
  summary.snps = writer.nsnp;
  summary.subjects = reader.nsubj;
  return summary;
}

char* write_float_exact(char* out, float value) {
  if (std::isnan(value)) {  // the sign survives, the payload bits do not
    const char* text = std::signbit(value) ? "-nan" : "nan";
    // A field inside a line: no terminator. NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(out, text, std::strlen(text));
    return out + std::strlen(text);
  }
  // The shortest text for the float, unless reading it in double and rounding to float lands
  // elsewhere (a double rounding); then the shortest text for the same value as a double.
  char* end = std::to_chars(out, out + 32, value).ptr;
  float back = 0;
  parse_score_field(std::string_view(out, static_cast<std::size_t>(end - out)), back);
  // Bit for bit: -0 must not pass for 0. NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
  if (std::memcmp(&back, &value, sizeof value) == 0) return end;
  return std::to_chars(out, out + 32, static_cast<double>(value)).ptr;
}

PackSummary unpack_score_file(const std::string& binary_path, const std::string& text_path) {
  const BinaryScoreFile in(binary_path);
  OutputFile out(text_path);
  const auto nsubj = static_cast<std::size_t>(in.header.nsubj);
  std::vector<float> decoded(in.is_compact() ? nsubj : 0);
  for (std::size_t r = 0; r < in.names.size(); ++r) {
    const float* scores = in.is_compact() ? decoded.data() : in.scores() + r * nsubj;
    if (in.is_compact())
      in.compact.decode(static_cast<int>(r), 0, static_cast<int>(nsubj), decoded.data());
    out.write(in.names[r]);
    for (std::size_t j = 0; j < nsubj; ++j) {
      if (in.is_compact() && std::isnan(scores[j])) {
        const std::string reason =
            in.compact.undecodable_reason(static_cast<int>(r), static_cast<int>(j));
        if (!reason.empty())
          fail_stderr("error: binary score file " + binary_path + ": SNP " + in.names[r] +
                      " (row " + std::to_string(r + 1) + "), subject " + std::to_string(j + 1) +
                      ": " + reason);
      }
      char* p = out.reserve(kMaxFloatText + 1);
      *p++ = ' ';
      out.advance(write_float_exact(p, scores[j]));
    }
    out.write_char('\n');
  }
  out.commit();
  PackSummary summary;
  summary.snps = static_cast<long long>(in.header.nsnp);
  summary.subjects = static_cast<int>(in.header.nsubj);
  return summary;
}

void print_pack_summary(const std::string& text_path, const std::string& binary_path,
                        const PackSummary& summary) {
  std::cout << "halvorix-prep pack\n"
            << "  text scores    = " << text_path << '\n'
            << "  SNPs           = " << summary.snps << '\n'
            << "  subjects       = " << summary.subjects << '\n'
            << "  repeated names = " << summary.repeated_names
            << " (kept; halvorix uses the first of each)\n"
            << "  written        = " << binary_path << '\n';
}

void print_unpack_summary(const std::string& binary_path, const std::string& text_path,
                          const PackSummary& summary) {
  std::cout << "halvorix-prep unpack\n"
            << "  binary scores  = " << binary_path << '\n'
            << "  SNPs           = " << summary.snps << '\n'
            << "  subjects       = " << summary.subjects << '\n'
            << "  written        = " << text_path << '\n';
}
