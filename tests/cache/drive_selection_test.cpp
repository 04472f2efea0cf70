// Which drives a build covers.
#include "platform/drive_selection.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

TEST(DriveSelection, FixedDrivesFromCToZInOrderAndNeverAOrB) {
    std::vector<std::u16string> asked;
    const auto roots = SelectDriveRoots([&](const std::u16string& root) {
        asked.push_back(root);
        // C: and E: fixed, D: optical, Z: fixed; everything else absent or removable.
        return root == u"C:\\" || root == u"E:\\" || root == u"Z:\\";
    });
    EXPECT_EQ(roots, (std::vector<std::u16string>{u"C:\\", u"E:\\", u"Z:\\"}));
    ASSERT_EQ(asked.size(), 24u);
    EXPECT_EQ(asked.front(), u"C:\\");
    EXPECT_EQ(asked.back(), u"Z:\\");
    EXPECT_TRUE(SelectDriveRoots([](const std::u16string&) { return false; }).empty());
}

}  // namespace
}  // namespace corvella
