#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "engine/snp_kernel.h"
#include "files/binary_score_file.h"
#include "files/mapped_region.h"
#include "files/result_file.h"
#include "files/score_matrix.h"
#include "files/score_text.h"
#include "stats/snp.h"
#include "test_support.h"

namespace {

/// A binary score file in memory: header, scores, names.
std::string binary_file(const std::vector<std::string>& names, int nsubj,
                        const std::vector<float>& scores) {
  std::string block;
  for (const std::string& n : names) block += n + '\n';
  std::string bytes = encode_score_header(make_score_header(names.size(), nsubj, block.size()));
  bytes.append(reinterpret_cast<const char*>(scores.data()), scores.size() * sizeof(float));
  return bytes + block;
}

struct TextRows {
  std::vector<std::string> names;
  std::vector<float> values;
};

/// Every row of a text file, read block by block with blocks of `block` bytes. With `in_place`
/// the blocks are parsed into one buffer of the reader's max_room(), end to end, as the score
/// matrix takes them; each block's room must fit.
TextRows read_all(const std::string& path, std::size_t block, int* nsubj = nullptr,
                  bool in_place = false) {
  ScoreTextReader reader(path);
  reader.block_bytes = block;
  std::vector<float> matrix;
  std::size_t used = 0;
  if (in_place) {
    matrix.assign(reader.max_room(), std::nanf(""));
    reader.room = [&](std::size_t count) {
      EXPECT_LE(used + count, matrix.size());
      return matrix.data() + used;
    };
  }
  TextRows all;
  ScoreTextRows rows;
  while (reader.next(rows)) {
    EXPECT_EQ(rows.first_line, static_cast<int>(all.names.size()) + 1);
    if (in_place && !rows.names.empty()) {
      EXPECT_EQ(rows.values, matrix.data() + used);
    }
    const std::size_t count = rows.names.size() * static_cast<std::size_t>(reader.nsubj);
    all.names.insert(all.names.end(), rows.names.begin(), rows.names.end());
    all.values.insert(all.values.end(), rows.values, rows.values + count);
    used += count;
  }
  if (nsubj != nullptr) *nsubj = reader.nsubj;
  return all;
}

/// A text score file of 2,000 SNPs: ten pages and more, for a reader with 4 KB blocks.
std::string text_of_many_pages(const TempDir& dir) {
  std::string text;
  for (int r = 0; r < 2000; ++r) text += "rs" + std::to_string(r) + " 0.25 -1.5 3\n";
  return dir.write("t.dat", text);
}

/// Overwrites the four bytes at `offset` of `path` with "7777", leaving its size as it is. File
/// times tick coarsely (a few milliseconds): a change that soon after mapping could go unseen.
void overwrite_in_place(const std::string& path, long offset) {
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const int fd = open(path.c_str(), O_WRONLY);
  if (fd < 0 || pwrite(fd, "7777", 4, offset) != 4) std::exit(3);
  close(fd);
}

}  // namespace

// Small blocks are parsed where they lie in the mapped file and the last stretch through the
// buffer; a block of a megabyte reads this file through the buffer alone.
TEST(ScoreTextReader, BlocksOfAnySizeGiveTheSameRows) {
  TempDir dir;
  std::string text = "\xEF\xBB\xBF# header\n\n";  // the byte-order mark is skipped either way
  for (int r = 0; r < 200; ++r) {
    text += "rs" + std::to_string(r) + (r % 3 ? " " : ",\t") + std::to_string(r * 0.25) + " " +
            std::to_string(-r) + (r % 7 ? "\n" : "\r\n");
    if (r % 50 == 0) text += "# comment " + std::to_string(r) + "\n , \n";
  }
  const std::string path = dir.write("s.txt", text + "last 1 2");  // no final line break
  int nsubj = 0;
  const TextRows whole = read_all(path, 1 << 20, &nsubj);
  ASSERT_EQ(nsubj, 2);
  ASSERT_EQ(whole.names.size(), 201u);
  EXPECT_EQ(whole.names[7], "rs7");
  EXPECT_EQ(whole.values[2 * 7], 1.75f);
  EXPECT_EQ(whole.values[2 * 7 + 1], -7.0f);
  EXPECT_EQ(whole.names.back(), "last");
  for (std::size_t block : {1u, 5u, 17u, 64u, 1000u}) {
    for (bool in_place : {false, true}) {
      const TextRows small = read_all(path, block, nullptr, in_place);
      EXPECT_EQ(small.names, whole.names) << block;
      EXPECT_EQ(small.values, whole.values) << block;
    }
  }
}

// The densest text there is (one byte a field, one between), with blank lines that take no
// room and a last line without its break: parsed in place, no block asks for more room than
// the reader promised.
TEST(ScoreTextReader, DenseTextFitsTheRoomPromised) {
  TempDir dir;
  std::string text;
  for (int r = 0; r < 300; ++r) {
    text += std::string(1, static_cast<char>('a' + r % 26)) + " " + std::to_string(r % 10) + "," +
            std::to_string((r + 3) % 10) + " " + std::to_string((r + 7) % 10) + "\n";
    if (r % 4 == 0) text += "\n\n";
  }
  const std::string path = dir.write("dense.txt", text + "z 1 2 3");
  for (std::size_t block : {1u, 7u, 64u, 1u << 20}) {
    int nsubj = 0;
    const TextRows rows = read_all(path, block, &nsubj, true);
    ASSERT_EQ(nsubj, 3);
    ASSERT_EQ(rows.names.size(), 301u) << block;
    EXPECT_EQ(rows.values[3 * 299 + 2], 6.0f) << block;
    EXPECT_EQ(rows.values.back(), 3.0f) << block;
  }
}

TEST(ScoreTextReader, BadLineIsReportedAfterTheRowsBeforeIt) {
  TempDir dir;
  std::string text;
  for (int r = 0; r < 40; ++r) text += "# c\nrs" + std::to_string(r) + " 1 2\n";
  const std::string path = dir.write("s.txt", text + "bad 1\nrs40 1 2\n");
  for (std::size_t block : {3u, 1u << 20}) {
    EXPECT_EXIT(
        {
          ScoreTextReader reader(path);
          reader.block_bytes = block;
          ScoreTextRows rows;
          int seen = 0;
          while (reader.next(rows)) seen += static_cast<int>(rows.names.size());
          std::exit(seen == 40 ? 0 : 2);  // not reached: the bad line stops the run
        },
        ::testing::ExitedWithCode(1),
        "^error: expect 3 fields in file " + path + ", but found 2 on line 41\n$");
  }
}

// Every golden case with data also runs from packed score files; here what it cannot see.
TEST(BinaryScoreFile, RecognisedByItsMagicAndScoresAlignedForTheKernel) {
  TempDir dir;
  const std::string path = dir.write("b.dat", binary_file({"rs1", "rs2"}, 3, {1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(is_binary_score_file(path));
  EXPECT_FALSE(is_binary_score_file(dir.write("t.dat", "rs1 1 2\n")));
  EXPECT_FALSE(is_binary_score_file(dir.file("absent.dat")));
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(BinaryScoreFile(path).scores()) % 64, 0u);
}

TEST(BinaryScoreFile, DamagedFilesStopTheRunNamingTheFile) {
  TempDir dir;
  const std::string good = binary_file({"rs1", "rs2"}, 2, {1, 2, 3, 4});
  const auto expect_error = [&](const std::string& name, const std::string& bytes,
                                const std::string& what) {
    const std::string path = dir.write(name, bytes);
    EXPECT_EXIT(BinaryScoreFile{path}, ::testing::ExitedWithCode(1),
                "^error: binary score file " + path + ": " + what);
  };
  // Bad magic, an unknown version, a short file, a cut name and a stored NaN run end to end.
  expect_error("header.dat", good.substr(0, 40), "shorter than its 64-byte header");
  expect_error("long.dat", good + "x",
               "the header says 8 bytes of names, but 9 bytes follow the scores of 2 SNPs x 2 "
               "subjects \\(file size 89 bytes\\)");
  std::string one_name = binary_file({"rs1", "rs2"}, 2, {1, 2, 3, 4});
  one_name.replace(one_name.size() - 8, 8, "rs1 rs2\n");
  expect_error("fewer.dat", one_name, "name of SNP 1 holds a field separator");
  std::string three = binary_file({"a", "b", "c"}, 2, {1, 2, 3, 4, 5, 6});
  std::memcpy(&three[16], "\x02", 1);  // the header claims two SNPs
  expect_error("more.dat", three,
               "the names offset \\(header bytes 40 to 47\\) is 88, expected 80");
}

// Every count is held against the file's size before anything is sized by it: a 64-byte file
// may not make the reader reserve gigabytes. Fixed fields are checked and named.
TEST(BinaryScoreFile, HeaderFieldsAreCheckedAgainstTheSizeBeforeUse) {
  TempDir dir;
  const std::string good = binary_file({"rs1", "rs2"}, 2, {1, 2, 3, 4});
  const auto patched = [&](std::size_t at, std::uint64_t value, std::size_t width) {
    std::string bytes = good;
    std::memcpy(&bytes[at], &value, width);
    return bytes;
  };
  const auto expect_error = [&](const std::string& name, const std::string& bytes,
                                const std::string& what) {
    const std::string path = dir.write(name, bytes);
    EXPECT_EXIT(BinaryScoreFile{path}, ::testing::ExitedWithCode(1),
                "^error: binary score file " + path + ": " + what + "\n$");
  };
  std::string no_snps = patched(16, 0, 8);
  std::memcpy(&no_snps[24], "\xff\xff\xff\x7f", 4);
  expect_error("none.dat", no_snps.substr(0, 64),
               "the header says 0 SNPs \\(with 2147483647 subjects\\); a score file holds at "
               "least one");
  // The largest dimensions: their product in bytes does not wrap, and dwarfs the file.
  std::string huge = patched(16, 2147483647, 8);
  std::memcpy(&huge[24], &huge[16], 8);
  expect_error("huge.dat", huge,
               "the scores of 2147483647 SNPs x 2147483647 subjects take 18446744056529682436 "
               "bytes, but only 24 bytes follow the header .*");
  expect_error("header_size.dat", patched(12, 128, 4),
               "the header size \\(header bytes 12 to 15\\) is 128, expected 64");
  expect_error("reserved.dat", patched(56, 1, 8),
               "the reserved field \\(header bytes 56 to 63\\) is 1, expected 0");
  expect_error("offset.dat", patched(32, 128, 8),
               "the scores offset \\(header bytes 32 to 39\\) is 128, expected 64");
  expect_error("names.dat", patched(48, 4, 8),
               "the header says 4 bytes of names, but 8 bytes follow the scores of 2 SNPs x 2 "
               "subjects \\(file size 88 bytes\\)");
  // Names are 7-bit text: neither a NUL nor a byte above 127 passes.
  expect_error("nul.dat", binary_file({std::string("r\0", 2), "rs2"}, 2, {1, 2, 3, 4}),
               "name of SNP 1 holds byte 0 at position 2 \\(names are 7-bit text without NUL\\)");
  expect_error("high.dat", binary_file({"rs1", "r\xe9"}, 2, {1, 2, 3, 4}),
               "name of SNP 2 holds byte 233 at position 2 .*");
}

// A line still without its end is bounded by the first line's field count; the first line by
// the file alone. Without the bound the buffer grew to the whole rest of the file.
TEST(ScoreTextReader, LineWithoutEndIsBoundedByTheFirstLinesFields) {
  TempDir dir;
  const std::size_t limit = 3 * ScoreTextReader::kMaxScoreFieldBytes;
  const std::string first = "rs1 1 2\n";
  const std::string path = dir.write("s.txt", first + std::string(4 * limit, '7'));
  EXPECT_EXIT(
      {
        ScoreTextReader reader(path);
        reader.block_bytes = 64;
        ScoreTextRows rows;
        while (reader.next(rows)) {
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(1),
      "^error: line 2 of file " + path + " goes on for more than " + std::to_string(limit) +
          " bytes without a line end \\(3 fields of at most 1024 bytes each, as the first line "
          "has\\)\n$");
  // A long line within the bound is read as any other.
  const std::string wide = dir.write("w.txt", first + "rs2 1" + std::string(2000, ' ') + "2\n");
  const TextRows rows = read_all(wide, 64);
  ASSERT_EQ(rows.names.size(), 2u);
  EXPECT_EQ(rows.values, (std::vector<float>{1, 2, 1, 2}));
}

// `cp` over a score file truncates it before writing: the run reading it must stop naming
// the file, not die of SIGBUS. Each route is cut to nothing after it has checked the file.
TEST(MappedScoreFiles, CutShortWhileReadStopsTheRunNamingTheFile) {
  TempDir dir;
  const int nsubj = 4096;
  const std::string binary =
      dir.write("b.dat", binary_file({"rs1", "rs2"}, nsubj, std::vector<float>(2 * nsubj, 1.5f)));
  EXPECT_EXIT(
      {
        BinaryScoreFile file(binary);
        if (truncate(binary.c_str(), 0) != 0) std::exit(3);
        const volatile float last = file.scores()[2 * nsubj - 1];
        std::exit(last == 1.5f ? 0 : 2);
      },
      ::testing::ExitedWithCode(1),
      "^error: " + binary +
          " was cut short while this run was reading it: leave it as it is "
          "until the run ends\n$");

  const std::string path = text_of_many_pages(dir);
  EXPECT_EXIT(
      {
        ScoreTextReader reader(path);
        reader.block_bytes = 4096;
        if (truncate(path.c_str(), 0) != 0) std::exit(3);
        ScoreTextRows rows;
        while (reader.next(rows)) {
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "^error: " + path + " was cut short");
}

// A file written over in place while mapped would give results from two files' scores: no
// result file is begun, and a text file is caught when its mapped part has been parsed. A file
// replaced whole (renamed over) leaves the mapped one intact, so the run goes on.
TEST(MappedScoreFiles, ChangedInPlaceStopsTheRunBeforeAnyResult) {
  TempDir dir;
  const std::string path =
      dir.write("b.dat", binary_file({"rs1", "rs2"}, 1024, std::vector<float>(2048, 1.5f)));
  const std::string result = dir.file("out.csv");
  const std::string changed = "^error: " + path +
                              " changed while this run was reading it: leave it as it is until "
                              "the run ends\n$";
  EXPECT_EXIT(
      {
        BinaryScoreFile file(path);
        overwrite_in_place(path, 64 + 4 * 100);
        ResultFile out(result);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), changed);
  EXPECT_FALSE(std::filesystem::exists(result));

  {
    BinaryScoreFile file(path);
    const std::string fresh = dir.write("fresh.dat", std::string(100, 'x'));
    ASSERT_EQ(std::rename(fresh.c_str(), path.c_str()), 0);
    ResultFile out(result);
    EXPECT_TRUE(out.is_open());
    EXPECT_EQ(file.scores()[2047], 1.5f);
  }

  const std::string text_path = text_of_many_pages(dir);
  EXPECT_EXIT(
      {
        ScoreTextReader reader(text_path);
        reader.block_bytes = 4096;
        ScoreTextRows rows;
        if (!reader.next(rows)) std::exit(2);
        overwrite_in_place(text_path, 20000);
        while (reader.next(rows)) {
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "^error: " + text_path + " changed while");
}

// A fault outside every guarded mapping is not the guard's: it keeps its own end, even at an
// address where a guarded mapping of another file lay before.
TEST(MappedScoreFiles, OtherBusErrorsAreLeftAlone) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer reports bus errors itself";
#endif
  TempDir dir;
  const std::string guarded = dir.write("guarded.dat", std::string(1 << 16, 'x'));
  const std::string other = dir.write("other.dat", std::string(1 << 16, 'y'));
  EXPECT_EXIT(
      {
        { const MappedRegion gone = MappedRegion::file(guarded); }
        const int fd = open(other.c_str(), O_RDONLY);
        void* p = mmap(nullptr, 1 << 16, PROT_READ, MAP_SHARED, fd, 0);
        if (p == MAP_FAILED || truncate(other.c_str(), 0) != 0) std::exit(3);
        const volatile char c = static_cast<const char*>(p)[100];
        std::exit(c == 'y' ? 0 : 2);
      },
      ::testing::KilledBySignal(SIGBUS), "");
}

TEST(ScoreMatrix, MissingCodesReadAsTheirReplacementWhereverRowsAreRead) {
  ScoreMatrix m;
  m.reserve(3, 2);
  const float rows[] = {1, -9, 3, -9, -9.0000001f, 5};
  std::copy(rows, rows + 6, m.append_rows(3));
  EXPECT_EQ(m.find_missing(-9, "mean"), -1);
  EXPECT_EQ(m.row_has_missing, (std::vector<unsigned char>{1, 1, 1}));
  std::vector<float> scratch;
  const float* r1 = m.row(1, scratch);
  EXPECT_EQ(r1[0], 3.0f);
  EXPECT_EQ(r1[1], 5.0f);  // subject 2's only score that is not missing
  EXPECT_EQ(m.value(2, 0), 2.0f);
  EXPECT_EQ(m.find_missing(-9, "zero"), -1);
  EXPECT_EQ(m.value(2, 0), 0.0f);
  EXPECT_EQ(m.value(2, 1), 5.0f);
}

TEST(ScoreMatrix, UnknownReplacementStopsTheRunThroughTheFailurePath) {
  ScoreMatrix m;
  m.reserve(1, 2);
  const float row[] = {1, -9};
  std::copy(row, row + 2, m.append_rows(1));
  EXPECT_EXIT(m.find_missing(-9, "median"), ::testing::ExitedWithCode(1),
              "^error:  method = median for replace missing\n$");
}

// The vector scan and the tiled transposition against the one-score definitions, at widths
// around the vector and tile sizes, with missing codes, near misses, NaN and infinities in
// the vector body and in the tail.
TEST(ScoreMatrix, VectorScanAndTilesAgreeWithTheScoreByScoreTests) {
  std::mt19937 random(11);
  const float code = -9;
  const float specials[] = {code, std::nextafter(code, 0.0f), -9.00001f, NAN, INFINITY, -INFINITY};
  for (int nsubj : {1, 3, 4, 5, 8, 9, 16, 17, 33}) {
    for (const std::string method : {"zero", "mean"}) {
      const int nsnp = 21;
      ScoreMatrix m;
      m.reserve(nsnp, nsubj);
      float* at = m.append_rows(nsnp);
      for (int k = 0; k < nsnp * nsubj; ++k)
        at[k] = random() % 4 == 0 ? specials[random() % 6] : static_cast<float>(random() % 100) / 8;
      long long first_bad = -1;
      std::vector<unsigned char> has_missing(nsnp, 0);
      for (int k = 0; k < nsnp * nsubj; ++k) {
        const bool miss = std::abs(static_cast<float>(at[k] - code)) < 1e-6;  // the double test
        has_missing[static_cast<std::size_t>(k / nsubj)] |= miss;
        if (!miss && !std::isfinite(at[k]) && first_bad < 0) first_bad = k;
      }
      // A bad score stops a binary run, but the flags and replacements are still formed.
      EXPECT_EQ(m.find_missing(code, method), first_bad) << nsubj << method;
      EXPECT_EQ(m.row_has_missing, has_missing) << nsubj << method;

      const int rows[] = {20, 0, 7, 7, 13, 2, 19, 4, 11, 5, 1, 3, 8, 17, 9, 10};
      for (int nrows : {1, 5, 16}) {
        std::vector<float> block(static_cast<std::size_t>(nsubj) * kSnpBlock, -1.0f);
        m.transpose_rows(rows, nrows, kSnpBlock, block.data());
        for (int j = 0; j < nsubj; ++j)
          for (int l = 0; l < kSnpBlock; ++l) {
            const float want = l < nrows ? m.value(rows[l], j) : 0.0f;
            const float got = block[static_cast<std::size_t>(j) * kSnpBlock + l];
            EXPECT_TRUE(std::memcmp(&want, &got, sizeof want) == 0)
                << nsubj << method << " row " << l << " subject " << j << ": " << got << " vs "
                << want;
          }
      }
    }
  }
}

// Threads scan ranges of rows; the first bad score in row order must win whichever thread
// finds it.
TEST(ScoreMatrix, FirstBadScoreIsTheFirstInFileOrderWithManyRows) {
  const int nsnp = 1200, nsubj = 1000;  // past the size that brings in threads
  ScoreMatrix m;
  m.reserve(nsnp, nsubj);
  float* at = m.append_rows(nsnp);
  std::fill(at, at + static_cast<long>(nsnp) * nsubj, 1.0f);
  at[static_cast<long>(1100) * nsubj + 3] = NAN;
  at[static_cast<long>(300) * nsubj + 999] = INFINITY;
  at[static_cast<long>(300) * nsubj + 998] = -9;
  EXPECT_EQ(m.find_missing(-9, "zero"), 300LL * nsubj + 999);
  EXPECT_EQ(std::count(m.row_has_missing.begin(), m.row_has_missing.end(), 1), 1);
  EXPECT_EQ(m.row_has_missing[300], 1);
}

// The reader's own decimal path must give exactly the float that strtod then narrowing gives,
// for every form a score file may hold: signs, leading and trailing zeros, long mantissas,
// exponents, and the forms it leaves to the general path. A field is one whole number: no
// blank around it, nothing after it, and infinities, NaN and values past float range refused.
TEST(ScoreField, EveryFormReadsAsStrtodNarrowedToFloat) {
  std::mt19937 random(7);
  const auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + random() % 10);
    return s;
  };
  std::vector<std::string> fields = {
      "0", "-0", "-0.0", "5.", ".5", "-.5", "1e22", "1e23", "1e-22", "1e-23", "9007199254740993",
      "1e39", "-1e39", "0x1p3", "+2.5", "1e", "1.5e+3", "-", ".", "1..2", "1e5x", "3.4028235e38",
      "0.000000000000000000000000000001", " 1", "\v1", "2.5 ", "NA", "1,5", "--1", "+-1", "0x1g",
      "0x", "Inf", "-inf", "NaN", "nan(1)", "1e400", "0x1p200", "1e-310", "7e-46", "0X1p-2",
      "-3.5e38",
      // Next to a float midpoint, where a double one ulp off
      // rounds to the other float: a mantissa past 2^53, and a
      // division that a multiplication by 1e-18 would not match.
      "25.204081535339354", "0.007748738629743456",
      // Eight fraction digits and more, read in two steps of eight: up to 15 digits in all,
      // then the long way.
      "0.00090324", "-0.000000000000001", "0.0000000000000001", "1234567.12345678",
      "1234567.123456789", "12.1234567891234", "12.12345678912345", "0.12345678e3"};
  for (int i = 0; i < 20000; ++i) {
    std::string s = random() % 4 == 0 ? "-" : "";
    s += digits(static_cast<int>(random() % 12));
    if (random() % 3 != 0) s += "." + digits(static_cast<int>(random() % 21));
    if (random() % 3 == 0)
      s +=
          std::string("e") + (random() % 2 ? "-" : "") + digits(1 + static_cast<int>(random() % 2));
    fields.push_back(s);
  }
  // The numbers also go through the reader, whose own scan reads them in place: seven to a
  // line, between every delimiter, with and without a last line break.
  std::string text;
  std::vector<float> in_file;
  int on_line = 0;
  for (const std::string& field : fields) {
    char* end = nullptr;
    const double expected_double = std::strtod(field.c_str(), &end);
    const bool whole = !field.empty() && !std::isspace(static_cast<unsigned char>(field[0])) &&
                       end == field.c_str() + field.size();
    const float expected = static_cast<float>(expected_double);
    float value = 12345.0f;
    const ScoreField status = parse_score_field(field, value);
    if (!whole) {
      EXPECT_EQ(status, ScoreField::not_a_number) << field;
      continue;
    }
    EXPECT_EQ(status, std::isfinite(expected) ? ScoreField::ok : ScoreField::not_finite) << field;
    if (status == ScoreField::ok) {
      EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0)
          << field << ": " << value << " vs " << expected;
      if (field.find_first_of(" ,\t\v") != std::string::npos) continue;
      if (on_line == 0) text += "rs" + std::to_string(in_file.size());
      text += std::string(1, " ,\t"[in_file.size() % 3]) + field;
      in_file.push_back(expected);
      if (++on_line == 7) {
        text += in_file.size() % 2 ? "\n" : "\r\n";
        on_line = 0;
      }
    }
  }
  in_file.resize(in_file.size() - static_cast<std::size_t>(on_line));  // no partial last line
  text.resize(text.rfind('\n') + 1);
  TempDir dir;
  for (const char* ending : {"", "\n"}) {
    const std::string file = text.substr(0, text.size() - 1) + ending;
    const TextRows rows = read_all(dir.write("fields.txt", file), 1 << 12, nullptr, true);
    ASSERT_EQ(rows.values.size(), in_file.size());
    EXPECT_EQ(std::memcmp(rows.values.data(), in_file.data(), in_file.size() * sizeof(float)), 0);
  }
}
