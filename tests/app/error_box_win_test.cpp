// The error box as the user meets it: a real dialog, found among the desktop's windows while a
// worker thread waits in it, read, and closed the way the OK button closes it.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "app/error_box.h"

namespace corvella {
namespace {

using namespace std::chrono_literals;

std::wstring WindowText(HWND window) {
    std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    return std::wstring(name, GetClassNameW(window, name, 64));
}

struct BoxSearch {
    DWORD thread_id;
    HWND found;
};

// Enumeration callbacks are CALLBACK (stdcall on x86), which a lambda cannot be.
BOOL CALLBACK MatchBox(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<BoxSearch*>(param);
    if (GetWindowThreadProcessId(window, nullptr) != search.thread_id ||
        ClassOf(window) != L"#32770" || !IsWindowVisible(window))
        return TRUE;
    search.found = window;
    return FALSE;
}

// The dialog that `thread_id` shows, if it is up yet. Message boxes are of the dialog class.
HWND FindBoxOf(DWORD thread_id) {
    BoxSearch search{thread_id, nullptr};
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct Control {
    std::wstring cls;
    std::wstring text;
    int id;
};

BOOL CALLBACK AddControl(HWND child, LPARAM param) {
    reinterpret_cast<std::vector<Control>*>(param)->push_back(
        {ClassOf(child), WindowText(child), GetDlgCtrlID(child)});
    return TRUE;
}

std::vector<Control> ChildrenOf(HWND dialog) {
    std::vector<Control> children;
    EnumChildWindows(dialog, AddControl, reinterpret_cast<LPARAM>(&children));
    return children;
}

// Shows one error box on a worker thread, as the engine's threads do, and answers it.
class ErrorBoxOnWorker {
  public:
    explicit ErrorBoxOnWorker(std::u16string_view text)
        : worker_([this, text] {
              thread_id_ = GetCurrentThreadId();
              started_ = true;
              ShowErrorBox(text);
              returned_ = true;
          }) {}
    ~ErrorBoxOnWorker() {
        // A box that was never found cannot be answered; the worker is left waiting in it
        // rather than ending the whole test program.
        if (returned_)
            worker_.join();
        else
            worker_.detach();
    }
    ErrorBoxOnWorker(const ErrorBoxOnWorker&) = delete;
    ErrorBoxOnWorker& operator=(const ErrorBoxOnWorker&) = delete;

    HWND WaitForBox(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            if (started_) {
                if (HWND box = FindBoxOf(thread_id_)) return box;
            }
            std::this_thread::sleep_for(20ms);
        }
        return nullptr;
    }
    bool WaitForReturn(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!returned_ && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(10ms);
        return returned_;
    }
    bool returned() const { return returned_; }

  private:
    std::atomic<DWORD> thread_id_{0};
    std::atomic<bool> started_{false};
    std::atomic<bool> returned_{false};
    std::thread worker_;
};

TEST(ErrorBox, WorkerShowsAnOwnerlessCorvellaBoxAndWaitsForOk) {
    // Only the middle of the buffer is the message: the box must show the view, not run on to
    // the next terminating zero.
    const std::u16string buffer =
        u"<<The cache file C:\\Corvella Data\\d\u00e9fault.db cannot be opened.\n"
        u"It may be used by another program.>>";
    const std::u16string_view message = std::u16string_view(buffer).substr(2, buffer.size() - 4);
    const std::wstring expected(reinterpret_cast<const wchar_t*>(message.data()), message.size());

    ErrorBoxOnWorker worker(message);
    const HWND box = worker.WaitForBox(20s);
    ASSERT_NE(box, nullptr) << "no dialog appeared for the worker's error box";
    EXPECT_FALSE(worker.returned()) << "the box must hold its thread until it is answered";

    EXPECT_EQ(WindowText(box), L"Corvella");
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "an owner window would tie the worker to it";

    bool text_shown = false;
    int buttons = 0;
    for (const Control& c : ChildrenOf(box)) {
        if (_wcsicmp(c.cls.c_str(), L"Static") == 0 && c.text == expected) text_shown = true;
        if (_wcsicmp(c.cls.c_str(), L"Button") == 0) {
            ++buttons;
            EXPECT_EQ(c.id, IDOK) << "the only button is OK";
        }
    }
    EXPECT_TRUE(text_shown) << "no static control shows the message";
    EXPECT_EQ(buttons, 1);

    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(worker.WaitForReturn(10s)) << "the worker did not come back after OK";
    EXPECT_FALSE(IsWindow(box));
}

}  // namespace
}  // namespace corvella
