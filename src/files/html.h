// Text from input files placed in the HTML reports: escaped so that a name is shown as it is
// written and never read as markup or as part of a link.
#pragma once

#include <string>

/// `text` with &, <, > and " replaced by their character references; usable in element text
/// and in double-quoted attribute values.
std::string html_escape(const std::string& text);

/// `text` with every byte other than letters, digits and - . _ ~ : written as %XX, for a
/// name placed in the query of a link.
std::string percent_encode(const std::string& text);
