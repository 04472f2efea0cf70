// A builder over a tree described by hand, writing "cache.db" in a fresh folder.
#pragma once

#include <filesystem>
#include <map>

#include "cache/cacher.h"
#include "support/test_tree.h"

namespace corvella::test {

struct FakeBuild {
    TempDir dir;
    CollectErrors errors;
    CollectStatus status;
    FakeTree tree;
    CCacher cacher;

    explicit FakeBuild(WorkingFileSizes sizes = {}) : cacher(errors, CachePath(), sizes) {
        cacher.SetListingSource(&tree);
        cacher.SetStatusWindow(&status);
        cacher.SetSkipFolder(u"");
    }
    std::u16string CachePath() const { return dir.U16("cache.db"); }
    std::filesystem::path Cache() const { return dir.path() / "cache.db"; }
    std::vector<uint8_t> File() const { return ReadBytes(Cache()); }
    bool Run(const std::vector<std::u16string>& roots) { return cacher.BuildCache(roots); }
};

// Each entry's value (size or block) by full path.
inline std::map<std::u16string, uint32_t> Values(const std::vector<uint8_t>& file) {
    std::map<std::u16string, uint32_t> value;
    for (const ReadEntry& e : ReadAllEntries(file, u'\\')) value[e.path] = e.value;
    return value;
}

}  // namespace corvella::test
