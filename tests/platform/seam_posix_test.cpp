// What only POSIX file systems have: virtual file systems, paths past PATH_MAX, and the folder
// of the keeper's sockets. Links, names that are not UTF-8 and sizes past 4 GiB are built and
// read back by tools/verify_index.py.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <utility>

#include "platform/dir_list.h"
#include "platform/local_socket.h"
#include "platform/mounts_posix.h"
#include "platform/text.h"
#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;

TEST(PosixBuild, ATreeDeeperThanPathMaxIsWalkedToTheBottom) {
    test::TempDir dir;
    const std::string top = dir.path().string() + "/deep";
    ASSERT_EQ(::mkdir(top.c_str(), 0755), 0);
    // 2,500 levels of "dd/": 7,500 bytes of path, well past PATH_MAX (4,096).
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 2500; ++level) {
        ASSERT_EQ(::mkdirat(fd, "dd", 0755), 0);
        const int next = ::openat(fd, "dd", O_RDONLY | O_DIRECTORY);
        ::close(std::exchange(fd, next));
    }
    ::close(::openat(fd, "bottom.txt", O_CREAT | O_WRONLY, 0644));
    ::close(fd);
    const std::u16string root = FromUtf8(fs::canonical(top).string());
    std::u16string bottom = root;
    for (int level = 0; level < 2500; ++level) bottom += u"/dd";
    EXPECT_EQ(test::BuildReal(dir, root + u"/").count(bottom + u"/bottom.txt"), 1u);
    // TempDir removes by path, which stops at PATH_MAX; rm walks by descriptors.
    EXPECT_EQ(std::system(("rm -rf '" + top + "'").c_str()), 0);
}

TEST(Mounts, VirtualNetworkAndOpticalFileSystemsAreNotEntered) {
    for (const char* type : {"proc", "nfs4", "iso9660", "ext4", "btrfs"})
        EXPECT_EQ(platform::IsSkippedFileSystemType(type), type[0] != 'e' && type[0] != 'b')
            << type;
    EXPECT_EQ(platform::UnescapeMountPath("/mnt/my\\040disk\\134x"), "/mnt/my disk\\x");
    EXPECT_EQ(platform::UnescapeMountPath("/a\\04"), "/a\\04");  // cut-off escape stays as is

    // Where /proc is a mounted proc file system (as on any Linux), a listing of "/" marks it.
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string all{std::istreambuf_iterator<char>(mounts), {}};
    if (all.find(" /proc ") == all.npos || all.find(" - proc ") == all.npos)
        GTEST_SKIP() << "no proc file system at /proc";
    platform::DirLister lister;
    ASSERT_TRUE(lister.Open(u"/"));
    platform::DirEntry e;
    int proc_found = 0;
    while (lister.Next(e)) {
        if (e.name == u"proc") proc_found += e.folder && e.no_enter;
        if (e.name == u"usr") {
            EXPECT_FALSE(e.no_enter);
        }
    }
    EXPECT_EQ(proc_found, 1);
}

// A socket folder others may enter would let them put their own socket where a client looks,
// or read what the keeper answers; and two caches must never share a socket.
TEST(KeeperSocket, LivesOnlyInAFolderOfThisUsersAlone) {
    test::TempDir dir;
    const std::string runtime = dir.path().string();
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    std::u16string problem;
    const auto path = platform::KeeperSocketPath(u"/data/a.db", true, problem);
    ASSERT_TRUE(path) << test::Narrow(problem);
    EXPECT_EQ(path->rfind(runtime + "/corvella/", 0), 0u) << *path;
    struct stat st {};
    ASSERT_EQ(::stat((runtime + "/corvella").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(platform::KeeperSocketPath(u"/data/a.db", false, problem), path);
    EXPECT_NE(platform::KeeperSocketPath(u"/data/b.db", false, problem), path);

    ASSERT_EQ(::chmod((runtime + "/corvella").c_str(), 0755), 0);
    for (bool make : {true, false}) {
        EXPECT_FALSE(platform::KeeperSocketPath(u"/data/a.db", make, problem));
        EXPECT_NE(test::Narrow(problem).find("mode 0700"), std::string::npos);
    }
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_FALSE(platform::KeeperSocketPath(u"/data/a.db", true, problem));
    EXPECT_TRUE(problem.empty());
}

}  // namespace
}  // namespace corvella
