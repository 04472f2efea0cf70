// The keeper's lock on either platform. Faults it catches: a share mode or lock kind that lets a
// second holder in (on Windows, writers must not share), a holder id that cannot be read back
// while the lock is held, and a lock that outlives its release or is seen where none is held.
#include "platform/keeper_lock.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "support/test_tree.h"

namespace corvella {
namespace {

using platform::KeeperLock;
using platform::KeeperLockOutcome;

uint32_t OwnId() {
#ifdef _WIN32
    return uint32_t(GetCurrentProcessId());
#else
    return uint32_t(getpid());
#endif
}

TEST(KeeperLock, OneHolderAtATimeWhoseIdOthersRead) {
    test::TempDir dir;
    const std::u16string cache = dir.U16("c.db");
    EXPECT_FALSE(platform::KeeperOf(cache)) << "no keeper has run here";

    KeeperLock first, second;
    ASSERT_EQ(first.Acquire(cache), KeeperLockOutcome::Held);
    // Two opens of one process conflict as two processes do.
    EXPECT_EQ(second.Acquire(cache), KeeperLockOutcome::Taken);
    EXPECT_EQ(second.holder(), OwnId());
    EXPECT_EQ(platform::KeeperOf(cache), OwnId());

    first.Release();
    EXPECT_FALSE(platform::KeeperOf(cache)) << "the file left behind holds nothing";
    EXPECT_EQ(second.Acquire(cache), KeeperLockOutcome::Held);
    EXPECT_EQ(first.Acquire(dir.U16("missing/c.db")), KeeperLockOutcome::Failed);
}

}  // namespace
}  // namespace corvella
