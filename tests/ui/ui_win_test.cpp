// The window framework on real windows: dialogs built in memory, run modally and modeless and
// driven by messages posted before their loop runs. Every dialog ends itself after ten seconds,
// so a framework that loses a message fails instead of hanging.
#include <gtest/gtest.h>
#include <windows.h>
// The common controls' declarations build on <windows.h>.
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "support/dialog_win.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/post.h"
#include "ui/subclassed_wnd.h"

namespace corvella::ui {
namespace {

using namespace std::chrono_literals;

constexpr int kEditId = 100, kButtonId = 101;
constexpr UINT_PTR kSafetyTimer = 77;
constexpr int kTimedOut = -2;

// A dialog with an edit field and a button whose hooks the tests fill in; it records the keys
// offered to PreTranslateMessage.
class ProbeDialog : public Dialog {
  public:
    ProbeDialog() : Dialog(test::EmptyDialog()) {}
    std::function<void(ProbeDialog&)> on_init, on_click;
    std::vector<WPARAM> keys_seen;

    HWND edit() const { return GetDlgItem(hwnd(), kEditId); }
    HWND button() const { return GetDlgItem(hwnd(), kButtonId); }
    void PostClick() const {
        PostMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED), LPARAM(button()));
    }
    bool PreTranslateMessage(MSG& m) override {
        if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) keys_seen.push_back(m.wParam);
        return false;
    }

  protected:
    bool OnInitDialog() override {
        test::AddControl(hwnd(), WC_EDITW, kEditId, WS_BORDER | ES_AUTOHSCROLL, {10, 10, 300, 35});
        test::AddControl(hwnd(), WC_BUTTONW, kButtonId, WS_TABSTOP | BS_PUSHBUTTON,
                         {10, 40, 120, 65});
        SetTimer(hwnd(), kSafetyTimer, 10000, nullptr);
        if (on_init) on_init(*this);
        return true;
    }
    bool OnCommand(int id, int code, HWND) override {
        const bool mine = id == kButtonId && code == BN_CLICKED && on_click;
        if (mine) on_click(*this);
        return mine;
    }
    bool OnTimer(UINT_PTR id) override { return id == kSafetyTimer && (End(kTimedOut), true); }
};

std::function<void(ProbeDialog&)> EndWith(int result) {
    return [result](ProbeDialog& d) { d.End(result); };
}
const auto kClick = [](ProbeDialog& d) { d.PostClick(); };

// Runs the calling thread's messages, one at a time, until `done` or the limit.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    for (const auto until = std::chrono::steady_clock::now() + limit;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        MSG m;
        if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        } else if (!PreTranslate(m)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
}

TEST(UiModalDialog, DisablesTheOwnersTopWindowOnlyWhileItRuns) {
    ProbeDialog owner;
    ASSERT_TRUE(owner.Create());
    owner.Show(SW_SHOW);
    ProbeDialog modal;
    bool owner_enabled_inside = true;
    modal.on_init = kClick;
    modal.on_click = [&](ProbeDialog& d) {
        owner_enabled_inside = owner.IsEnabled();
        d.End(1);
    };
    EXPECT_EQ(modal.DoModal(owner.edit()), 1);  // owned through a control of the owner
    EXPECT_FALSE(owner_enabled_inside);
    EXPECT_TRUE(owner.IsEnabled());
    EXPECT_EQ(GetActiveWindow(), owner.hwnd());

    // Ended inside its initialisation: never shown, and the owner as it was.
    modal.on_init = EndWith(IDOK);
    EXPECT_EQ(modal.DoModal(owner.hwnd()), IDOK);
    EXPECT_TRUE(owner.IsEnabled());
    // An owner that was disabled before stays so.
    owner.Enable(false);
    modal.on_init = kClick;
    EXPECT_EQ(modal.DoModal(owner.hwnd()), 1);
    EXPECT_FALSE(owner.IsEnabled());
}

TEST(UiModalDialog, QuitEndsTheLoopAndIsPassedOnToTheLoopOutside) {
    ProbeDialog dialog;
    dialog.on_init = [](ProbeDialog&) { PostQuitMessage(5); };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    MSG quit{};
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 5);
}

// Swallows one character: WM_CHAR `c` from a queued message.
template <typename Base>
class Swallower : public Base {
  public:
    explicit Swallower(wchar_t c) : c_(c) {}
    std::vector<WPARAM> chars_seen;
    bool PreTranslateMessage(MSG& m) override {
        if (m.message != WM_CHAR) return false;
        chars_seen.push_back(m.wParam);
        return m.wParam == c_;
    }

  private:
    wchar_t c_;
};

TEST(UiApp, OffersQueuedMessagesFromTheAppInwardsAndBelongsToItsThreadOnly) {
    Swallower<App> app(L'q');
    Swallower<SubclassedWnd> edit(L'z');
    ProbeDialog dialog;
    std::atomic<App*> on_worker{&app};
    App* on_ui = nullptr;
    dialog.on_init = [&](ProbeDialog& d) {
        on_ui = App::Current();
        std::thread([&] { on_worker = App::Current(); }).join();
        EXPECT_TRUE(edit.Subclass(d.edit()));
        for (wchar_t c : {L'q', L'z', L'x'}) PostMessageW(d.edit(), WM_CHAR, c, 1);
        d.PostClick();
    };
    dialog.on_click = [&](ProbeDialog& d) {
        EXPECT_EQ(app.main_window(), d.hwnd());
        d.End(9);
    };
    EXPECT_EQ(app.Run(dialog), 9);
    EXPECT_EQ(on_ui, &app);
    EXPECT_EQ(on_worker.load(), nullptr)
        << "a worker's error box must not take the main window as owner";
    EXPECT_EQ(App::Current(), nullptr);
    EXPECT_EQ(app.chars_seen, (std::vector<WPARAM>{L'q', L'z', L'x'}));
    EXPECT_EQ(edit.chars_seen, (std::vector<WPARAM>{L'z', L'x'}));
    EXPECT_EQ(dialog.keys_seen, std::vector<WPARAM>{L'x'}) << "the control swallowed 'z'";
}

TEST(UiPost, WorkerTasksRunOnTheWindowsThreadInOrder) {
    constexpr int kTasks = 500;
    ProbeDialog dialog;
    std::vector<int> order;
    std::vector<DWORD> threads;
    std::atomic<int> refused{0};
    std::thread worker;
    dialog.on_init = [&](ProbeDialog& d) {
        worker = std::thread([&, window = d.hwnd()] {
            for (int i = 0; i < kTasks; ++i)
                refused += !Post(window, [&, i] {
                    order.push_back(i);
                    threads.push_back(GetCurrentThreadId());
                });
            refused += !Post(window, [&] { dialog.End(1); });
        });
    };
    EXPECT_EQ(dialog.DoModal(), 1);
    worker.join();
    EXPECT_EQ(refused.load(), 0);
    ASSERT_EQ(order.size(), size_t(kTasks));
    for (int i = 0; i < kTasks; ++i) ASSERT_EQ(order[i], i);
    for (DWORD thread : threads) ASSERT_EQ(thread, GetCurrentThreadId());
}

TEST(UiPost, TasksForAWindowThatIsGoneOrNotOursNeitherRunNorLeak) {
    ProbeDialog dialog;
    ASSERT_TRUE(dialog.Create());
    auto token = std::make_shared<int>(0);
    std::atomic<int> ran{0};
    bool gone = false;  // read and written on this thread only
    int ran_late = 0;
    std::atomic<bool> refused{false}, stop{false};
    std::thread worker([&, window = dialog.hwnd(), token] {
        while (!stop) {
            if (!Post(window, [&, token] {
                    ran_late += gone;
                    ++ran;
                })) {
                refused = true;
                return;
            }
            std::this_thread::yield();
        }
    });
    EXPECT_TRUE(PumpUntil([&] { return ran >= 200; }, 10s));
    dialog.End(0);
    gone = true;
    EXPECT_TRUE(PumpUntil([&] { return refused.load(); }, 5s))
        << "posts to the gone window were taken";
    stop = true;
    worker.join();
    // A window of another kind is refused too, and the task destroyed unrun.
    const HWND foreign = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                         nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_FALSE(Post(foreign, [&, token] { ++ran_late; }));
    DestroyWindow(foreign);
    PumpUntil([] { return false; }, 100ms);
    EXPECT_EQ(ran_late, 0);
    EXPECT_EQ(token.use_count(), 1) << "tasks queued for the gone window were not destroyed";
}

}  // namespace
}  // namespace corvella::ui
