// Result lines in a user-given format: "[FILEDIR]" becomes the record's location (its folder
// with a trailing separator; empty for a drive), "[FILENAME]" its name.
#pragma once

#include <string>
#include <string_view>

#include "results/result_set.h"

namespace corvella {

// Every token of `format` replaced in one pass, so that a folder or file whose own name looks
// like a token is written as it is.
std::u16string FormatResultLine(std::u16string_view format, std::u16string_view location,
                                std::u16string_view name);

// One line as the saved-results file holds it: the system's ANSI code page on Windows (its
// default character for what it cannot represent), UTF-8 elsewhere; ended by CR LF.
std::string EncodeSavedLine(std::u16string_view line);

// An unsigned number with "," before every group of three digits (1234567 gives "1,234,567").
std::u16string FormatThousands(uint64_t value);

}  // namespace corvella
