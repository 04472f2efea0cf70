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
#include <string>
#include <thread>
#include <vector>

#include "support/dialog_win.h"
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/post.h"
#include "ui/subclassed_wnd.h"

namespace corvella::ui {
namespace {

using namespace std::chrono_literals;

constexpr int kEditId = 100, kButtonId = 101, kListId = 102;
constexpr UINT_PTR kSafetyTimer = 77;
constexpr int kTimedOut = -2;

// A dialog with an edit field and a button (and a list when asked) whose hooks the tests fill in;
// it records what reaches it: keys offered to PreTranslateMessage, WM_DRAWITEM and
// WM_MEASUREITEM that no control answered.
class ProbeDialog : public Dialog {
  public:
    explicit ProbeDialog(DWORD button_style = BS_PUSHBUTTON, bool with_list = false)
        : Dialog(test::EmptyDialog()), button_style_(button_style), with_list_(with_list) {}
    std::function<void(ProbeDialog&)> on_init, on_click;
    std::function<bool(MSG&)> swallow;
    int cancels = 0;
    std::wstring text_at_destroy;
    std::vector<WPARAM> keys_seen;
    std::vector<UINT> control_messages_seen;

    HWND edit() const { return GetDlgItem(hwnd(), kEditId); }
    HWND button() const { return GetDlgItem(hwnd(), kButtonId); }
    void PostClick() const {
        PostMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED), LPARAM(button()));
    }
    bool PreTranslateMessage(MSG& m) override {
        if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) keys_seen.push_back(m.wParam);
        return swallow && swallow(m);
    }

  protected:
    bool OnInitDialog() override {
        test::AddControl(hwnd(), WC_EDITW, kEditId, WS_BORDER | ES_AUTOHSCROLL, {10, 10, 300, 35});
        test::AddControl(hwnd(), WC_BUTTONW, kButtonId, WS_TABSTOP | button_style_,
                         {10, 40, 120, 65});
        if (with_list_)
            test::AddControl(hwnd(), WC_LISTVIEWW, kListId, WS_BORDER | LVS_REPORT | LVS_OWNERDATA,
                             {10, 70, 380, 280});
        SetTimer(hwnd(), kSafetyTimer, 10000, nullptr);
        if (on_init) on_init(*this);
        return true;
    }
    void OnCancel() override {
        ++cancels;
        Dialog::OnCancel();
    }
    bool OnCommand(int id, int code, HWND) override {
        const bool mine = id == kButtonId && code == BN_CLICKED && on_click;
        if (mine) on_click(*this);
        return mine;
    }
    std::optional<LRESULT> OnNotify(int, NMHDR* header) override {
        return header->code == NM_DBLCLK ? std::optional<LRESULT>(9) : std::nullopt;
    }
    bool OnTimer(UINT_PTR id) override { return id == kSafetyTimer && (End(kTimedOut), true); }
    void OnDestroy() override { text_at_destroy = Wnd(edit()).Text(); }
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
        if (message == WM_DRAWITEM || message == WM_MEASUREITEM)
            control_messages_seen.push_back(message);
        return Dialog::OnMessage(message, wparam, lparam);
    }

  private:
    DWORD button_style_;
    bool with_list_;
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

TEST(UiModalDialog, QueuedKeysMeetPreTranslateFirstThenTheDialogManager) {
    // Escape, 'x', a click; Escape cancels the dialog unless PreTranslateMessage swallows it.
    const struct {
        bool swallow_escape;
        int result, cancels;
        std::wstring text;
    } cases[] = {{true, 42, 0, L"x"}, {false, IDCANCEL, 1, L""}};
    for (const auto& c : cases) {
        ProbeDialog dialog;
        dialog.on_init = [](ProbeDialog& d) {
            PostMessageW(d.edit(), WM_KEYDOWN, VK_ESCAPE, 1);
            PostMessageW(d.edit(), WM_CHAR, L'x', 1);
            d.PostClick();
        };
        dialog.swallow = [&](MSG& m) {
            return c.swallow_escape && m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE;
        };
        dialog.on_click = EndWith(42);
        EXPECT_EQ(dialog.DoModal(), c.result) << c.swallow_escape;
        EXPECT_EQ(dialog.cancels, c.cancels) << c.swallow_escape;
        EXPECT_EQ(dialog.text_at_destroy, c.text) << c.swallow_escape;
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

// A control that answers the reflected messages the tests send it.
class Reflected : public SubclassedWnd {
  public:
    static constexpr UINT kRowHeight = 37;
    std::vector<UINT> draws;  // item ids
    int measures = 0, clicks = 0;

    std::optional<LRESULT> OnReflected(UINT message, WPARAM wparam, LPARAM lparam) override {
        if (message == WM_MEASUREITEM) {
            ++measures;
            reinterpret_cast<MEASUREITEMSTRUCT*>(lparam)->itemHeight = kRowHeight;
            return TRUE;
        }
        if (message == WM_DRAWITEM) {
            draws.push_back(reinterpret_cast<const DRAWITEMSTRUCT*>(lparam)->itemID);
            return TRUE;
        }
        if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lparam)->code == NM_RCLICK)
            return 5;
        clicks += message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED;
        return std::nullopt;  // the dialog sees the click too
    }

  protected:
    // As controls attached in OnInitDialog do, so that only a later measure request reaches it.
    void PreSubclass() override {
        if (GetDlgCtrlID(hwnd()) == kListId) SetStyle(Style() | LVS_OWNERDRAWFIXED);
    }
};

TEST(UiReflection, ControlsAnswerTheirOwnMessagesFirstAndLetTheRestReachTheDialog) {
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_LISTVIEW_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&classes));
    ProbeDialog dialog(BS_OWNERDRAW, true);
    Reflected button, list;
    int dialog_clicks = 0;
    dialog.on_init = [&](ProbeDialog& d) {
        EXPECT_TRUE(button.Subclass(d.button()));
        EXPECT_TRUE(list.SubclassItem(d.hwnd(), kListId));
    };
    dialog.on_click = [&](ProbeDialog&) { ++dialog_clicks; };
    ASSERT_TRUE(dialog.Create());
    dialog.Show(SW_SHOW);
    ListView view(list.hwnd());
    view.InsertColumn(0, L"Name", 300);
    view.SetItemCount(3);
    view.RequestItemHeight();
    RECT row{};
    ASSERT_TRUE(view.ItemRect(0, LVIR_BOUNDS, row));
    EXPECT_EQ(row.bottom - row.top, LONG(Reflected::kRowHeight));
    for (HWND control : {dialog.button(), view.hwnd()})
        RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_FALSE(button.draws.empty());
    EXPECT_EQ(list.draws, (std::vector<UINT>{0, 1, 2}));
    EXPECT_TRUE(dialog.control_messages_seen.empty()) << "the controls answered; not the dialog";

    Button(dialog.button()).Click();
    EXPECT_EQ(button.clicks, 1);
    EXPECT_EQ(dialog_clicks, 1) << "a click the button lets pass reaches the dialog";
    // Answers reach the sender through DWLP_MSGRESULT, the list's own before the dialog's.
    for (auto [code, answer] : {std::pair{NM_RCLICK, 5}, std::pair{NM_DBLCLK, 9}}) {
        NMHDR header{view.hwnd(), UINT_PTR(kListId), UINT(code)};
        EXPECT_EQ(SendMessageW(dialog.hwnd(), WM_NOTIFY, kListId, LPARAM(&header)), answer);
    }
    // Let go while the window lives: the dialog sees the next request itself.
    list.Unsubclass();
    const int measures = list.measures;
    view.RequestItemHeight();
    EXPECT_EQ(list.measures, measures);
    EXPECT_EQ(dialog.control_messages_seen, std::vector<UINT>{WM_MEASUREITEM});
    dialog.End(0);
    EXPECT_EQ(button.hwnd(), nullptr) << "the subclass goes with the dialog";
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
