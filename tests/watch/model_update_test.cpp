// Random changes to a real tree, applied folder by folder, must leave the cache saying what a fresh
// build of the same tree says; a defragmentation afterwards must lay it out exactly as that build
// does.
//
// CORVELLA_MODEL_SEEDS=N runs N more seeds after the fixed one; CORVELLA_MODEL_BATCHES sets the
// batches of each run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "cache/cache_check.h"
#include "cache/cache_shared.h"
#include "cache/cacher.h"
#include "cache/defragmenter.h"
#include "platform/drives.h"
#include "support/test_tree.h"
#include "watch/folder_update.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;
using test::CollectErrors;
using test::TempDir;

constexpr uint32_t kFixedSeed = 20261206;
constexpr int kOpsPerBatch = 25;
constexpr char16_t kSeparator = platform::kPathSeparator;
// Files are slower to make under Wine by far; fewer batches still cover every kind of change.
#ifdef _WIN32
constexpr int kDefaultBatches = 16;
#else
constexpr int kDefaultBatches = 80;
#endif

int EnvNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

void Build(const std::u16string& root, const std::u16string& cache) {
    CollectErrors errors;
    CCacher cacher(errors, cache);
    ASSERT_TRUE(cacher.BuildCache({root}));
    for (const auto& m : errors.messages) ADD_FAILURE() << test::Narrow(m);
}

// Every entry; files with size and time, folders with their block when `layout` is asked for.
// Folder times are left out: a folder's own time changes with its contents, and its record lives in
// its parent's block, which that change does not touch.
std::vector<std::string> Listing(const fs::path& cache, bool layout) {
    std::vector<std::string> lines;
    for (const test::ReadEntry& e : test::ReadAllEntries(test::ReadBytes(cache), kSeparator)) {
        std::string line = test::Narrow(e.path);
        if (!e.folder) line += " " + std::to_string(e.value) + " " + std::to_string(e.time);
        if (e.folder && layout) line += " @" + std::to_string(e.value);
        lines.push_back(std::move(line));
    }
    return lines;
}

CacheCheckReport Check(const fs::path& cache) { return test::Check(test::ReadBytes(cache)); }

class RandomTree {
  public:
    RandomTree(const fs::path& root, uint32_t seed) : root_(root), random_(seed) {}

    // One random change; the folders it touched go to `changed`, as a watcher reports them.
    void Change(std::vector<std::u16string>& changed) {
        const std::vector<fs::path> folders = Entries(true), files = Entries(false);
        const fs::path folder = Pick(folders);
        const fs::path file = files.empty() ? fs::path() : Pick(files);
        switch (files.empty() ? Below(2) : Below(10)) {
            case 0:
            case 1:
                MakeFile(folder / Name("f"), changed);
                break;
            case 2:
                fs::remove(file);
                Report(file.parent_path(), changed);
                break;
            case 3: {  // renamed in place, or moved to another folder
                const fs::path to = (Below(2) ? file.parent_path() : folder) / Name("r");
                fs::rename(file, to);
                Report(file.parent_path(), changed);
                Report(to.parent_path(), changed);
                break;
            }
            case 4:  // grown or shrunk
                fs::resize_file(file, Below(3) == 0 ? 0 : Below(300000));
                Report(file.parent_path(), changed);
                break;
            case 5:
            case 6: {  // a new folder, often with a small tree in it at once
                const fs::path made = folder / Name("d");
                fs::create_directory(made);
                for (int i = Below(4); i > 0; --i) MakeFile(made / Name("f"), changed, false);
                if (Below(2)) {
                    fs::create_directories(made / Name("s") / Name("t"));
                    MakeFile(made / Name("g"), changed, false);
                }
                Report(folder, changed);
                Report(made, changed);
                break;
            }
            case 7:  // a whole tree deleted
                if (folder == root_) break;
                fs::remove_all(folder);
                Report(folder.parent_path(), changed);
                break;
            case 8: {  // a folder renamed or moved with its tree, but not below itself
                if (folder == root_) break;
                const fs::path to = (Below(2) ? folder.parent_path() : Pick(folders)) / Name("m");
                std::error_code moved_into_itself;
                fs::rename(folder, to, moved_into_itself);
                if (moved_into_itself) break;
                Report(folder.parent_path(), changed);
                Report(to.parent_path(), changed);
                break;
            }
            default:  // a burst in one folder, as an editor's save
                MakeFile(folder / "save.tmp", changed);
                fs::rename(folder / "save.tmp", folder / "saved.txt");
                Report(folder, changed);
                break;
        }
    }

  private:
    std::vector<fs::path> Entries(bool folders) const {
        std::vector<fs::path> out;
        if (folders) out.push_back(root_);
        for (const auto& e : fs::recursive_directory_iterator(root_))
            if (e.is_directory() == folders) out.push_back(e.path());
        return out;
    }
    uint32_t Below(uint32_t n) {
        return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_);
    }
    const fs::path& Pick(const std::vector<fs::path>& from) { return from[Below(from.size())]; }
    std::string Name(const char* head) { return head + std::to_string(next_name_++); }
    void MakeFile(const fs::path& file, std::vector<std::u16string>& changed, bool report = true) {
        test::WriteFileOfSize(file, Below(5) == 0 ? 0 : Below(100000));
        if (report) Report(file.parent_path(), changed);
    }
    static void Report(const fs::path& folder, std::vector<std::u16string>& changed) {
        std::u16string path = test::ToU16(folder);
        if (path.back() != kSeparator) path += kSeparator;
        changed.push_back(std::move(path));
    }

    fs::path root_;
    std::mt19937 random_;
    int next_name_ = 0;
};

void RunModel(uint32_t seed, int batches) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TempDir dir;
    const fs::path root = dir.path() / "tree";
    fs::create_directories(root / "a" / "b");
    test::WriteFileOfSize(root / "a" / "one.txt", 10);
    const std::u16string root_path = test::ToU16(root) + kSeparator;
    const std::u16string cache = dir.U16("cache.db"), fresh = dir.U16("fresh.db");
    Build(root_path, cache);

    RandomTree tree(root, seed);
    CollectErrors errors;
    CFolderUpdater updater(errors);
    for (int batch = 0; batch < batches; ++batch) {
        std::vector<std::u16string> changed;
        for (int op = 0; op < kOpsPerBatch; ++op) tree.Change(changed);
        for (const std::u16string& folder : changed) {
            const ApplyResult result = updater.ApplyFolderChange(cache, folder);
            ASSERT_TRUE(result != ApplyResult::InUse && result != ApplyResult::RetryLater);
        }
        Build(root_path, fresh);
        const CacheCheckReport updated = Check(dir.path() / "cache.db");
        ASSERT_TRUE(updated.ok) << "batch " << batch << ": " << updated.fault;
        ASSERT_EQ(updated.total_kib, Check(dir.path() / "fresh.db").total_kib) << "batch " << batch;
        ASSERT_EQ(Listing(dir.path() / "cache.db", false), Listing(dir.path() / "fresh.db", false))
            << "batch " << batch;
    }
    for (const auto& m : errors.messages) ADD_FAILURE() << test::Narrow(m);

    // Compacted, the updated cache is the fresh build, block for block, and the file no longer.
    const uint64_t loose_bytes = fs::file_size(dir.path() / "cache.db");
    CCacheDefragmenter defragmenter(errors, cache);
    ASSERT_EQ(defragmenter.Defragment(), 0);
    const CacheCheckReport compact = Check(dir.path() / "cache.db");
    EXPECT_TRUE(compact.ok && compact.free_blocks == 0) << compact.fault;
    EXPECT_EQ(fs::file_size(dir.path() / "cache.db"), fs::file_size(dir.path() / "fresh.db"));
    EXPECT_EQ(compact.file_size, fs::file_size(dir.path() / "fresh.db"));
    EXPECT_LT(compact.data_end, loose_bytes);
    EXPECT_EQ(Listing(dir.path() / "cache.db", true), Listing(dir.path() / "fresh.db", true));
}

TEST(ModelUpdateTest, RandomChangesKeepTheCacheEqualToAFreshBuild) {
    const int batches = EnvNumber("CORVELLA_MODEL_BATCHES", kDefaultBatches);
    RunModel(kFixedSeed, batches);
    const int more = EnvNumber("CORVELLA_MODEL_SEEDS", 0);
    for (int i = 1; i <= more && !HasFatalFailure(); ++i) RunModel(kFixedSeed + i, batches);
}

}  // namespace
}  // namespace corvella
