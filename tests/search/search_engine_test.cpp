// The engine that answers from the in-memory index must never answer from an index the file has
// moved on from. Its answers themselves are compared with the walk's in queryer_test.cpp, the
// reference search and the fuzz target.
#include "search/search_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "cache/cache_replace.h"
#include "cache/cache_shared.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

using Names = std::vector<std::u16string>;

// Faults: an index read before the file changed keeps answering the old file, whether another
// process replaced its bytes (this process's generation untouched), this process wrote it, or
// only the generation says so; and a stale index that is never read again.
TEST(IndexedEngine, AnIndexBehindTheFileIsNeverUsed) {
    test::TempDir dir;
    test::FakeTree before, after;
    before.Add(u"C:\\", {u"old.txt", false, 10, 1});
    after.Add(u"C:\\", {u"new.txt", false, 10, 1}).Add(u"C:\\", {u"more.txt", false, 1, 1});
    ASSERT_TRUE(test::BuildFake(after, {u"C:\\"}, dir.U16("after.db")));
    ASSERT_TRUE(test::BuildFake(before, {u"C:\\"}, dir.U16("cache.db")));
    const std::vector<uint8_t> old_bytes = test::ReadBytes(dir.path() / "cache.db");

    test::CollectErrors errors;
    CQueryer walk(errors, dir.U16("cache.db"));
    walk.SetPathSeparator(u'\\');
    IndexedEngine engine(errors, dir.U16("cache.db"), walk, u'\\', 2);
    const auto search = [&] {
        const EngineAnswer a = engine.Run({.pattern = u"*.txt"}, false);
        Names names;
        for (size_t i = 0; i < a.results->size(); ++i) names.push_back(a.results->Row(i).name);
        return std::pair(a.from_index, names);
    };
    ASSERT_EQ(engine.RefreshNow(), IndexedEngine::Refresh::Built);
    EXPECT_EQ(search(), std::pair(true, Names{u"old.txt"}));

    test::WriteBytes(dir.path() / "cache.db", test::ReadBytes(dir.path() / "after.db"));
    EXPECT_EQ(search(), std::pair(false, (Names{u"new.txt", u"more.txt"})));
    ASSERT_EQ(engine.RefreshNow(), IndexedEngine::Refresh::Built);
    EXPECT_EQ(search(), std::pair(true, (Names{u"new.txt", u"more.txt"})));

    platform::FileProblem problem;
    ASSERT_EQ(ReplaceCacheFile(dir.U16("cache.db"), old_bytes.data(), uint32_t(old_bytes.size()),
                               problem),
              platform::MapStep::Done);
    EXPECT_EQ(search(), std::pair(false, Names{u"old.txt"}));
    ASSERT_EQ(engine.RefreshNow(), IndexedEngine::Refresh::Built);
    CCacheShared::Instance().BumpGeneration();
    EXPECT_EQ(search(), std::pair(false, Names{u"old.txt"}));

    // In the background: the walk answers until the new index is in.
    engine.RefreshInBackground();
    for (int i = 0; i < 1000 && !engine.IndexCurrent(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(search(), std::pair(true, Names{u"old.txt"}));
    EXPECT_TRUE(errors.messages.empty());
}

}  // namespace
}  // namespace corvella
