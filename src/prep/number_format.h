// Fast decimal text for scores: hundreds of millions of numbers per score file.
#pragma once

/// Longest text `write_significant6` can produce (sign, digits, point, exponent).
constexpr int kMaxNumberText = 32;

/// Writes `value` as printf's "%.6g" does (6 significant digits, trailing zeros dropped),
/// except that a negative zero is written "0". Needs kMaxNumberText bytes at `out`; returns
/// the end of the text.
char* write_significant6(char* out, double value);
