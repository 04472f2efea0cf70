// The criteria as the pages write them and a search worker reads them, at the same time.
#include "search/criteria_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace corvella {
namespace {

// A worker reading while the page writes must see each bound whole: its flag with its own value,
// and a 64-bit date never half old, half new (a 32-bit build writes it in two halves). The two
// dates differ in both halves, and every value a reader may meet is one that was written.
TEST(CriteriaStore, AReaderSeesEveryBoundWholeWhileItIsWritten) {
    constexpr uint64_t kEarly = 0x0000000100000002, kLate = 0x00000003FFFFFFFE;
    CriteriaStore store;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (uint32_t i = 0; !stop.load(); ++i) {
            store.SetDateFrom(i % 2 ? kEarly : kLate);
            store.SetDateTo(i % 3 ? std::optional<uint64_t>(kLate) : std::nullopt);
            store.SetMinSize(i % 2 ? std::optional<uint32_t>(100) : std::nullopt);
        }
    });
    int torn = 0;
    for (int read = 0; read < 200000 && torn == 0; ++read) {
        const SearchCriteria c = store.Snapshot();
        if (c.date_from != 0 && c.date_from != kEarly && c.date_from != kLate) ++torn;
        if (c.date_to_enabled != (c.date_to == kLate)) ++torn;
        if (c.min_size_enabled != (c.min_size_kb == 100)) ++torn;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(torn, 0);
    // What the page wrote last is what the next search gets.
    store.SetKind(SearchKind::FoldersOnly);
    store.SetNoSubdirectories(true);
    store.SetMaxSize(0);
    const SearchCriteria last = store.Snapshot();
    EXPECT_EQ(last.kind, SearchKind::FoldersOnly);
    EXPECT_TRUE(last.no_subdirectories);
    EXPECT_TRUE(last.max_size_enabled);  // a bound of 0 KB is a bound, not none
    EXPECT_EQ(last.max_size_kb, 0u);
}

}  // namespace
}  // namespace corvella
