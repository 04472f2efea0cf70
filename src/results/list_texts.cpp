#include "results/list_texts.h"

#include <cstdio>

#include "platform/local_time.h"
#include "platform/text.h"
#include "results/results_writer.h"

namespace corvella {

std::u16string_view ListModeText(ListMode mode) {
    switch (mode) {
        case ListMode::Searching:
            return u"  Searching......";
        case ListMode::NoResults:
            return u"  No Results Found.";
        case ListMode::CacheBuilding:
            return u" The search cache is being built now. It usually takes only 1-5 minutes. "
                   u"Please wait a moment.";
        case ListMode::CacheReady:
            return u"  The caching is finished! You can start searching now.  ";
        case ListMode::None:
        case ListMode::Results:
            break;
    }
    return {};
}

std::u16string SearchStatusText(uint64_t records, uint64_t total_size_kb, uint32_t start_ticks,
                                uint32_t end_ticks) {
    const uint32_t elapsed_ms = end_ticks - start_ticks;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", elapsed_ms * 0.001);
    return FormatThousands(records) + u" items found (" + FormatThousands(total_size_kb) +
           u"KB), in " + Widen(seconds) + u"s";
}

std::u16string RemainingStatusText(uint64_t rows, uint64_t total_size_kb) {
    return FormatThousands(rows) + u" Items Found (" + FormatThousands(total_size_kb) + u"KB)";
}

std::u16string RowSizeText(uint32_t size_kb) {
    return FormatThousands(size_kb) + u"KB";
}

std::u16string RowDateText(uint64_t last_write) {
    platform::LocalTimeParts t;
    if (!platform::FileTimeToLocalParts(last_write, t)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%4d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute);
    return Widen(text);
}

std::u16string RowToolTipText(std::u16string_view name, std::u16string_view location,
                              uint64_t last_write, uint32_t size_kb) {
    std::u16string tip(name);
    if (location.empty()) {
        tip += u"\rLocation:  My Computer \r\nModified Date:  N/A";
    } else {
        tip += u"\rLocation:  ";
        tip += location;
        tip += u"\r\nDate Modified :  ";
        tip += RowDateText(last_write);
    }
    tip += u"\r\nSize:  " + FormatThousands(size_kb) + u" KB";
    return tip;
}

}  // namespace corvella
