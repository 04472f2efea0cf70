// What only POSIX file systems have: links, names that are not UTF-8, virtual file systems,
// paths past PATH_MAX; each through the listing and through a real build.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "cache/cache_check.h"
#include "cache/cache_shared.h"
#include "cache/cacher.h"
#include "platform/dir_list.h"
#include "platform/mounts_posix.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;

TEST(PosixBuild, LinksAreFilesOfTheirOwnSizeAndAreNeverFollowed) {
    test::TempDir dir;
    const fs::path tree = dir.path() / "tree";
    fs::create_directories(tree / "target" / "inside");
    test::WriteFileOfSize(tree / "target" / "inside" / "f.txt", 10);
    fs::create_directory_symlink("target", tree / "link");
    fs::create_symlink("nowhere/at/all", tree / "dangling");
    const std::u16string root = test::ToU16(fs::canonical(tree));
    const auto entries = test::BuildReal(dir, root + u"/");
    const auto& link = entries.at(root + u"/link");
    EXPECT_FALSE(link.folder);
    EXPECT_EQ(link.value, SizeInKiB(6));  // "target": the link's own size
    EXPECT_EQ(entries.at(root + u"/dangling").value, SizeInKiB(14));
    EXPECT_EQ(entries.count(root + u"/link/inside"), 0u);
    EXPECT_EQ(entries.count(root + u"/target/inside/f.txt"), 1u);
}

TEST(PosixBuild, NamesThatAreNotUtf8AndSizesPast4GiBSurviveABuild) {
    test::TempDir dir;
    const std::string tree = dir.path().string() + "/tree";
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    const std::string names[] = {"bad\xff", "\xc3\xa4\xf0\x9f\x98\x80", "cut\xe6\x97", "plain"};
    for (const std::string& name : names) {
        const int fd = ::open((tree + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    ASSERT_EQ(::truncate((tree + "/plain").c_str(), 5ll << 30), 0);  // sparse 5 GiB
    ASSERT_EQ(::mkdir((tree + "/dir\xfe").c_str(), 0755), 0);
    const std::u16string root = FromUtf8(fs::canonical(tree).string());
    const auto entries = test::BuildReal(dir, root + u"/");
    for (const std::string& name : names) {
        const auto it = entries.find(root + u"/" + FromUtf8(name));
        ASSERT_NE(it, entries.end()) << name;
        EXPECT_EQ(ToUtf8(it->first), fs::canonical(tree).string() + "/" + name);
    }
    EXPECT_EQ(entries.at(root + u"/plain").value, 5242881u);
    EXPECT_TRUE(entries.at(root + u"/dir\xdcfe").folder);
}

TEST(PosixBuild, ATreeDeeperThanPathMaxIsWalkedToTheBottom) {
    test::TempDir dir;
    const std::string top = dir.path().string() + "/deep";
    ASSERT_EQ(::mkdir(top.c_str(), 0755), 0);
    // 2,500 levels of "dd/": 7,500 bytes of path, well past PATH_MAX (4,096).
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 2500; ++level) {
        ASSERT_EQ(::mkdirat(fd, "dd", 0755), 0);
        const int next = ::openat(fd, "dd", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int file = ::openat(fd, "bottom.txt", O_CREAT | O_WRONLY, 0644);
    ::close(file);
    ::close(fd);
    const std::u16string root = FromUtf8(fs::canonical(top).string());
    const auto entries = test::BuildReal(dir, root + u"/");
    std::u16string bottom = root;
    for (int level = 0; level < 2500; ++level) bottom += u"/dd";
    EXPECT_EQ(entries.count(bottom + u"/bottom.txt"), 1u);
    // TempDir removes recursively by path; clear the deep part by descriptors first.
    fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    std::vector<int> fds{fd};
    for (int level = 0; level < 2500; ++level)
        fds.push_back(::openat(fds.back(), "dd", O_RDONLY | O_DIRECTORY));
    ::unlinkat(fds.back(), "bottom.txt", 0);
    for (int level = 2499; level >= 0; --level) {
        ::unlinkat(fds[level], "dd", AT_REMOVEDIR);
        ::close(fds[level + 1]);
    }
    ::close(fds[0]);
}

TEST(Mounts, VirtualNetworkAndOpticalFileSystemsAreNotEntered) {
    EXPECT_TRUE(platform::IsSkippedFileSystemType("proc"));
    EXPECT_TRUE(platform::IsSkippedFileSystemType("nfs4"));
    EXPECT_TRUE(platform::IsSkippedFileSystemType("iso9660"));
    EXPECT_FALSE(platform::IsSkippedFileSystemType("ext4"));
    EXPECT_FALSE(platform::IsSkippedFileSystemType("btrfs"));
    EXPECT_EQ(platform::UnescapeMountPath("/mnt/my\\040disk\\134x"), "/mnt/my disk\\x");
    EXPECT_EQ(platform::UnescapeMountPath("/a\\04"), "/a\\04");  // cut-off escape stays as is

    // Where /proc is a mounted proc file system (as on any Linux), a listing of "/" marks it.
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    bool proc_mounted = false;
    while (std::getline(mounts, line))
        proc_mounted = proc_mounted || (line.find(" /proc ") != std::string::npos &&
                                        line.find(" - proc ") != std::string::npos);
    if (!proc_mounted) GTEST_SKIP() << "no proc file system at /proc";
    platform::DirLister lister;
    ASSERT_TRUE(lister.Open(u"/"));
    platform::DirEntry e;
    bool found = false;
    while (lister.Next(e)) {
        if (e.name == u"proc") {
            found = true;
            EXPECT_TRUE(e.folder);
            EXPECT_TRUE(e.no_enter);
        } else if (e.name == u"usr") {
            EXPECT_FALSE(e.no_enter);
        }
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace corvella
