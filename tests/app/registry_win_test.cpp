// The Windows registry as the start-up rules see it, below a scratch key of the test's own.
#include "app/registry_win.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace corvella {
namespace {

class RegistryWin : public ::testing::Test {
  protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &root_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    }
    void Raw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
        ASSERT_EQ(RegSetKeyValueW(root_, L"Run", name, type, data, bytes), ERROR_SUCCESS);
    }

    static constexpr wchar_t kScratch[] = L"Software\\CorvellaTests";
    HKEY root_ = nullptr;
};

TEST_F(RegistryWin, ValuesReadAsTextOnlyWhenTheyAreTextHoweverTheyEnd) {
    WinUserRegistry registry(root_);
    EXPECT_FALSE(registry.Open(u"Run")) << "a missing key does not open";
    EXPECT_TRUE(registry.CreateIfMissing(u"Run"));

    const DWORD number = 20000;
    Raw(L"Number", REG_DWORD, &number, sizeof number);
    Raw(L"Unended", REG_SZ, L"5000", 4 * sizeof(wchar_t));  // no NUL stored
    const std::wstring big(40000, L'x');  // more than a fixed 64 KB buffer would take
    Raw(L"Big", REG_SZ, big.c_str(), DWORD((big.size() + 1) * sizeof(wchar_t)));

    const std::unique_ptr<RegistryKey> run = registry.Open(u"Run");
    ASSERT_TRUE(run);
    ASSERT_TRUE(run->Query(u"Number"));
    EXPECT_FALSE(run->Query(u"Number")->is_text);
    EXPECT_EQ(run->Query(u"Unended")->text, u"5000");
    EXPECT_EQ(run->Query(u"Big")->text.size(), big.size());

    ASSERT_TRUE(run->SetText(u"Corvella", u"\"C:\\P Q\\Corvella.exe\" /hide"));
    wchar_t stored[64] = {};
    DWORD bytes = sizeof stored, type = 0;
    ASSERT_EQ(RegGetValueW(root_, L"Run", L"Corvella", RRF_RT_ANY, &type, stored, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_STREQ(stored, L"\"C:\\P Q\\Corvella.exe\" /hide");
    EXPECT_EQ(bytes, (wcslen(stored) + 1) * sizeof(wchar_t)) << "the size counts the NUL";
    EXPECT_TRUE(run->Delete(u"Corvella"));
    EXPECT_FALSE(run->Delete(u"Corvella"));
}

}  // namespace
}  // namespace corvella
