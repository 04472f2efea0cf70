// Result lines in a user-given format: "[FILEDIR]" becomes the record's location (its folder
// with a trailing separator; empty for a drive), "[FILENAME]" its name. Saved files also know
// "[SIZE]" (the size in KB, digits only, so that a comma-separated line stays one field) and
// "[DATE]" (the last write in local time, "YYYY-MM-DD HH:MM:SS").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "results/result_set.h"

namespace corvella {

// Every token of `format` replaced in one pass, so that a folder or file whose own name looks
// like a token is written as it is.
std::u16string FormatResultLine(std::u16string_view format, std::u16string_view location,
                                std::u16string_view name);

// What a saved line may show of one record.
struct SavedLineFields {
    std::u16string_view location;
    std::u16string_view name;
    uint32_t size_kb = 0;
    uint64_t last_write = 0;  // FILETIME, UTC
};

// As FormatResultLine, with "[SIZE]" and "[DATE]" too. A time the calendar cannot show gives
// an empty "[DATE]".
std::u16string FormatSavedLine(std::u16string_view format, const SavedLineFields& fields);

// A FILETIME (UTC) as "YYYY-MM-DD HH:MM:SS" in local time, the ISO 8601 form that spreadsheets
// read as a date; empty when it cannot be represented.
std::u16string FormatLocalDateTime(uint64_t filetime);

// `text` in the system's ANSI code page on Windows (UTF-8 elsewhere), without a terminator.
// False, with `bytes` unspecified, when some character has no exact equivalent there: the code
// page's default character or a look-alike ("a" for "ā") would make the saved path useless.
bool EncodeAnsiExactly(std::u16string_view text, std::string& bytes);

// An unsigned number with "," before every group of three digits (1234567 gives "1,234,567").
std::u16string FormatThousands(uint64_t value);

}  // namespace corvella
