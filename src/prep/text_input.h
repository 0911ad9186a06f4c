// halvorix-prep's text inputs: its wording of their failures for the shared line reader, and
// the field splitters of the formats it reads.
#pragma once

#include <string>
#include <vector>

#include "files/line_reader.h"

/// halvorix-prep's messages: "error: PATH line N: ..." and "error: cannot open PATH: REASON",
/// all on standard error.
InputWording prep_wording();

/// Splits `line` at runs of blanks and tabs (the usual whitespace-separated layout).
void split_whitespace(const std::string& line, std::vector<std::string>& fields);

/// Splits `line` at every tab, keeping empty fields (tab-separated tables with blank cells).
void split_tabs(const std::string& line, std::vector<std::string>& fields);

/// True when `line` holds nothing but blanks and tabs.
bool is_blank(const std::string& line);

/// True when `text` contains a character that the analysis program splits fields at.
bool has_field_separator(const std::string& text);

/// `text` without the blanks around it: stray blanks beside tabs are common in hand-edited
/// files and are never part of a name.
std::string trimmed(const std::string& text);
