#include "prep/number_format.h"

#include <charconv>
#include <cmath>

#include "files/score_text.h"

namespace {

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
/// 10^-3 .. 10^5: the decimal exponent of a magnitude is the number of these it reaches, minus 4.
constexpr double kExponentBounds[] = {1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4, 1e5};

char* write_general(char* out, double value) {
  return std::to_chars(out, out + kMaxNumberText, value, std::chars_format::general, 6).ptr;
}

}  // namespace

bool significant6_decimal(double value, long& digits, int& exponent) {
  const double magnitude = std::fabs(value);
  // Outside [1e-4, 1e6) "%g" switches to exponent notation: rare for scores, left to the library.
  if (!(magnitude >= 1e-4 && magnitude < 1e6)) return false;
  // Counted without a branch per bound: the bounds ascend, so those reached come first.
  int reached = 0;
  for (double bound : kExponentBounds) reached += magnitude >= bound ? 1 : 0;
  exponent = reached - 4;
  // An exponent one off at an exact power of ten is repaired by the carry check below.
  const double scaled = magnitude * kPowersOfTen[5 - exponent];
  const double floor_scaled = std::floor(scaled);
  // One rounding in the product: only a fraction near one half could round otherwise than the
  // exact binary value does.
  if (std::fabs(scaled - floor_scaled - 0.5) < 1e-6) return false;
  digits = static_cast<long>(floor_scaled) + (scaled - floor_scaled > 0.5 ? 1 : 0);
  if (digits >= 1000000) {
    digits /= 10;
    ++exponent;
    if (exponent >= 6) return false;
  }
  return true;
}

char* write_significant6(char* out, double value) {
  if (value == 0) {
    *out = '0';
    return out + 1;
  }
  long digits = 0;
  int exponent = 0;
  if (!significant6_decimal(value, digits, exponent)) return write_general(out, value);
  char text[6];
  for (int i = 5; i >= 0; --i) {
    text[i] = static_cast<char>('0' + digits % 10);
    digits /= 10;
  }
  int last = 5;                      // trailing zeros of the fraction are not written
  const int point_after = exponent;  // digit index after which the decimal point goes
  while (last > point_after && last > 0 && text[last] == '0') --last;
  if (value < 0) *out++ = '-';
  if (exponent < 0) {
    *out++ = '0';
    *out++ = '.';
    for (int z = -1; z > exponent; --z) *out++ = '0';
    for (int i = 0; i <= last; ++i) *out++ = text[i];
    return out;
  }
  for (int i = 0; i <= last; ++i) {
    *out++ = text[i];
    if (i == point_after && i < last) *out++ = '.';
  }
  return out;
}

float significant6_as_read(double value) {
  if (value == 0) return 0.0f;  // written "0"
  long digits = 0;
  int exponent = 0;
  if (!significant6_decimal(value, digits, exponent)) {
    char text[kMaxNumberText];
    float as_read = 0;
    parse_score_field(
        std::string_view(text, static_cast<std::size_t>(write_significant6(text, value) - text)),
        as_read);
    return as_read;
  }
  // digits x 10^(exponent - 5), with both factors exact in double: one multiplication or
  // division is correctly rounded, as the reader's decimal conversion is.
  const auto whole = static_cast<double>(digits);
  const double magnitude =
      exponent >= 5 ? whole * kPowersOfTen[exponent - 5] : whole / kPowersOfTen[5 - exponent];
  return static_cast<float>(value < 0 ? -magnitude : magnitude);
}
