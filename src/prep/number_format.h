// Fast decimal text for scores: hundreds of millions of numbers per score file.
#pragma once

/// Longest text `write_significant6` can produce (sign, digits, point, exponent).
constexpr int kMaxNumberText = 32;

/// Writes `value` as printf's "%.6g" does (6 significant digits, trailing zeros dropped),
/// except that a negative zero is written "0". Needs kMaxNumberText bytes at `out`; returns
/// the end of the text.
char* write_significant6(char* out, double value);

/// The float that halvorix reads from the text write_significant6 writes for `value`, without
/// the text: what a binary score file stores for a score that a text file would write.
float significant6_as_read(double value);

/// The six significant digits of `value` as digits x 10^(exponent - 5) (digits from 100000 to
/// 999999); false where write_significant6 leaves the text to the library.
bool significant6_decimal(double value, long& digits, int& exponent);
