// The error box a worker thread shows: found among the desktop's windows, read, and answered.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/error_box.h"

namespace corvella {
namespace {

TEST(ErrorBox, AWorkersBoxShowsJustItsTextHasNoOwnerAndHoldsItsThreadUntilOk) {
    // Only the middle of the buffer is the message: the box must not run on to the next zero.
    const std::u16string buffer = u"<<The cache file d\u00e9fault.db cannot be opened.>>";
    const std::u16string_view message = std::u16string_view(buffer).substr(2, buffer.size() - 4);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        ShowErrorBox(message);
        returned = true;
    });
    HWND box = nullptr;
    for (int i = 0; i < 1000 && !box; ++i, Sleep(20)) box = FindWindowW(L"#32770", L"Corvella");
    if (!box) worker.detach();  // left waiting in a box nobody can find
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(returned);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "an owner would tie the worker to its thread";
    const std::wstring text(message.begin(), message.end());
    EXPECT_NE(FindWindowExW(box, nullptr, L"Static", text.c_str()), nullptr);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    worker.join();
}

}  // namespace
}  // namespace corvella
