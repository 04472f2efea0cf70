// The texts of the results list and of the status line under it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "results/list_model.h"

namespace corvella {

inline constexpr std::u16string_view kInvalidLocationStatus =
    u" [WARNING] : The search location is invalid!! Default to be My Computer! ";

// The single row a list without records shows; empty for None and Results.
std::u16string_view ListModeText(ListMode mode);

// "12,345 items found (678KB), in 0.25s": the elapsed time from two readings of a 32-bit
// millisecond clock, which may have wrapped between them.
std::u16string SearchStatusText(uint64_t records, uint64_t total_size_kb, uint32_t start_ticks,
                                uint32_t end_ticks);

// The status line after rows left the list: "12,345 Items Found (678KB)".
std::u16string RemainingStatusText(uint64_t rows, uint64_t total_size_kb);

// A row's size, "1,234KB".
std::u16string RowSizeText(uint32_t size_kb);
// A row's modification time in local time, "2024-01-15 13:05"; empty when it cannot be converted.
std::u16string RowDateText(uint64_t last_write);
// The tool tip of a row; a drive (empty location) has no date.
std::u16string RowToolTipText(std::u16string_view name, std::u16string_view location,
                              uint64_t last_write, uint32_t size_kb);

}  // namespace corvella
