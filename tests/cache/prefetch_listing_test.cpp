// Listings made ahead on worker threads must be exactly what the writer would have listed itself,
// in its order, whatever it skips and however small the look-ahead.
#include "cache/prefetch_listing.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/drives.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;

// Three levels of five folders, each with a few files; about 150 folders.
void MakeTree(const fs::path& at, int depth = 3) {
    for (int f = 0; f < 4; ++f) test::WriteFileOfSize(at / ("file" + std::to_string(f)), f * 700);
    if (depth == 0) return;
    for (int d = 0; d < 5; ++d) {
        fs::create_directory(at / ("dir" + std::to_string(d)));
        MakeTree(at / ("dir" + std::to_string(d)), depth - 1);
    }
}

struct Listed {
    std::u16string name;
    bool folder;
    uint64_t size, time;
    bool operator==(const Listed&) const = default;
};

std::vector<Listed> Drain(ListingSource& source, const std::u16string& folder) {
    std::vector<Listed> out;
    if (!source.Open(folder)) return out;
    platform::DirEntry e;
    while (source.Next(e))
        out.push_back({std::u16string(e.name), e.folder, e.size_bytes, e.last_write});
    source.Close();
    return out;
}

// Walks like the builder: a folder, then each subfolder's whole subtree in listing order, leaving
// out the folders `skip` names. Calls `visit` with each folder and its listing.
void Walk(ListingSource& source, const std::u16string& folder,
          const std::function<bool(const std::u16string&)>& skip,
          const std::function<void(const std::u16string&, const std::vector<Listed>&)>& visit) {
    const std::vector<Listed> listed = Drain(source, folder);
    visit(folder, listed);
    for (const Listed& e : listed) {
        if (!e.folder || e.name == u"." || e.name == u"..") continue;
        const std::u16string child = folder + e.name + folder.back();
        if (!skip(child)) Walk(source, child, skip, visit);
    }
}

TEST(PrefetchListing, GivesTheWritersOwnListingsInItsOrderEvenWhenItSkips) {
    test::TempDir dir;
    MakeTree(dir.path());
    const std::u16string root = dir.U16() + platform::kPathSeparator;
    const auto skip = [&](const std::u16string& path) {
        // Whole subtrees the writer decides not to walk, early and late in the order.
        return (path.find(u"dir1") != std::u16string::npos && path.size() == root.size() + 5) ||
               path.ends_with(u"dir3" + std::u16string(1, platform::kPathSeparator) + u"dir4" +
                              std::u16string(1, platform::kPathSeparator));
    };
    FileSystemListing direct;
    std::vector<std::pair<std::u16string, std::vector<Listed>>> expected;
    Walk(direct, root, skip,
         [&](auto& folder, auto& listed) { expected.emplace_back(folder, listed); });
    ASSERT_GT(expected.size(), 50u);

    for (size_t look_ahead : {size_t(1), size_t(3), size_t(4096)}) {
        PrefetchListing prefetch(3, look_ahead);
        // Walks after the first over the same object start afresh, as the next drive does.
        // Repeated, since a folder skipped while a worker still lists it is a matter of timing.
        for (int walk = 0; walk < 16; ++walk) {
            std::vector<std::pair<std::u16string, std::vector<Listed>>> got;
            Walk(prefetch, root, skip,
                 [&](auto& folder, auto& listed) { got.emplace_back(folder, listed); });
            ASSERT_EQ(got, expected) << "look-ahead " << look_ahead << ", walk " << walk;
        }
    }
}

}  // namespace
}  // namespace corvella
