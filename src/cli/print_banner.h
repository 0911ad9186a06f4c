// The framed title that opens every stage and summary on the console.
#pragma once

#include <string>

/// Writes an empty line, `width` '=', the title centred (odd blank to the right), `width` '='
/// and an empty line to standard output. A title of width - 1 bytes or more is written alone,
/// followed by an empty line.
void print_banner(const std::string& title, int width);
