// The data folder in the situations the end-to-end run cannot make: read-only or missing shipped
// settings, a profile that is a file, a copy that fails half way. The user's settings kept over a
// reinstall and a file under the folder's name left alone are checked by that run.
#include "app/data_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_tree.h"

namespace corvella {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

const std::vector<uint8_t> kShipped = {'[', 'O', 'P', 'T', 'I', 'O', 'N', 'S', ']', '\r', '\n'};

// The program's folder with its shipped settings, and a profile folder to make the data in.
struct Machine {
    TempDir dir;
    fs::path program = dir.path() / "program";
    fs::path profile = dir.path() / "profile";
    fs::path data = profile / "Corvella Data";
    Machine() {
        fs::create_directories(program);
        fs::create_directories(profile);
        WriteBytes(program / "settings.ini", kShipped);
    }
    DataFolderOutcome Provide(const fs::path& shipped) {
        return ProvideDataFolder(test::ToU16(data), test::ToU16(shipped));
    }
    DataFolderOutcome Provide() { return Provide(program / "settings.ini"); }
};

// Settings shipped read-only (from read-only media, or a locked-down program folder) must not
// make the user's copy read-only, or no option or history could ever be saved.
TEST(DataFolder, CopyOfReadOnlySettingsIsWritable) {
    Machine m;
    fs::permissions(m.program / "settings.ini",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(m.Provide(), DataFolderOutcome::Created);
    EXPECT_NE(fs::status(m.data / "settings.ini").permissions() & fs::perms::owner_write,
              fs::perms::none);
    fs::permissions(m.program / "settings.ini", fs::perms::owner_write, fs::perm_options::add);
}

TEST(DataFolder, ProgramWithoutShippedSettingsStillGetsAnEmptyFolder) {
    Machine m;
    EXPECT_EQ(m.Provide(m.program / "absent.ini"), DataFolderOutcome::Created);
    EXPECT_TRUE(fs::is_directory(m.data));
    EXPECT_TRUE(fs::is_empty(m.data));
}

TEST(DataFolder, AFileWhereTheProfileFolderShouldBeFailsAndIsLeftAsItWas) {
    Machine m;
    fs::remove(m.profile);
    WriteBytes(m.profile, {'p'});
    EXPECT_EQ(m.Provide(), DataFolderOutcome::Failed);
    EXPECT_EQ(ReadBytes(m.profile), std::vector<uint8_t>{'p'});
}

#ifndef _WIN32
// A copy that breaks off after its target was made: the settings file has been created when the
// read fails (this file is regular but reading it from offset 0 fails).
TEST(DataFolder, CopyFailingHalfWayLeavesNothingBehind) {
    Machine m;
    EXPECT_EQ(m.Provide("/proc/self/mem"), DataFolderOutcome::Failed);
    EXPECT_TRUE(fs::is_empty(m.profile));
}
#endif

}  // namespace
}  // namespace corvella
