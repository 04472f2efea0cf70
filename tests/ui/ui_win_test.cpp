// The window framework on real windows: dialogs from in-memory templates run modally and
// modeless, driven by messages posted to them before their loop runs; every dialog ends itself
// after ten seconds at the latest, so a framework that loses a message fails instead of hanging.
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

#include "ui/app.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/dialog_template.h"
#include "ui/gdi.h"
#include "ui/post.h"
#include "ui/subclassed_wnd.h"
#include "ui/wait_cursor.h"

namespace corvella::ui {
namespace {

using namespace std::chrono_literals;
using testing::DialogTemplate;

constexpr int kEditId = 100;
constexpr int kButtonId = 101;
constexpr int kListId = 102;
constexpr UINT_PTR kSafetyTimer = 77;
constexpr int kTimedOut = -2;

constexpr DWORD kDialogStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

// A dialog with an edit and a push button; `button_style` BS_OWNERDRAW makes it owner-drawn.
DialogTemplate EditAndButton(DWORD button_style = BS_PUSHBUTTON) {
    DialogTemplate dialog(kDialogStyle, 200, 120, L"Probe");
    dialog.Add(testing::kEdit, kEditId, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, {5, 5, 150, 19},
               L"");
    dialog.Add(testing::kButton, kButtonId, WS_TABSTOP | button_style, {5, 25, 60, 39}, L"Go");
    return dialog;
}

bool IsKeyboardMessage(const MSG& message) {
    return message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST;
}

struct Key {
    HWND window;
    UINT message;
    WPARAM code;
    bool operator==(const Key&) const = default;
};

// A dialog whose hooks the tests fill in. It records what reaches it.
class ProbeDialog : public Dialog {
  public:
    using Dialog::Dialog;

    std::function<void(ProbeDialog&)> on_init;
    std::function<bool(int id, int code, HWND control)> on_command;
    std::function<std::optional<LRESULT>(NMHDR*)> on_notify;
    std::function<bool(MSG&)> swallow;

    int inits = 0;
    int cancels = 0;
    int destroys = 0;
    bool visible_at_destroy = false;
    std::wstring edit_text_at_destroy;
    std::vector<Key> keys_seen;               // keyboard messages offered to PreTranslateMessage
    std::vector<UINT> control_messages_seen;  // WM_DRAWITEM and WM_MEASUREITEM that reached it

    Wnd edit() const { return Item(kEditId); }
    HWND button() const { return GetDlgItem(hwnd(), kButtonId); }

    bool PreTranslateMessage(MSG& message) override {
        if (IsKeyboardMessage(message))
            keys_seen.push_back({message.hwnd, message.message, message.wParam});
        return swallow && swallow(message);
    }

  protected:
    bool OnInitDialog() override {
        ++inits;
        SetTimer(hwnd(), kSafetyTimer, 10000, nullptr);
        if (on_init) on_init(*this);
        return true;
    }
    void OnCancel() override {
        ++cancels;
        Dialog::OnCancel();
    }
    bool OnCommand(int id, int code, HWND control) override {
        return on_command && on_command(id, code, control);
    }
    std::optional<LRESULT> OnNotify(int id, NMHDR* header) override {
        return on_notify ? on_notify(header) : std::nullopt;
    }
    bool OnTimer(UINT_PTR id) override {
        if (id != kSafetyTimer) return false;
        End(kTimedOut);
        return true;
    }
    void OnDestroy() override {
        ++destroys;
        visible_at_destroy = IsWindowVisible(hwnd()) != FALSE;
        edit_text_at_destroy = edit().Text();
    }
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
        if (message == WM_DRAWITEM || message == WM_MEASUREITEM)
            control_messages_seen.push_back(message);
        return Dialog::OnMessage(message, wparam, lparam);
    }
};

void PostClick(const ProbeDialog& dialog) {
    PostMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(kButtonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(dialog.button()));
}

// Ends the dialog with `result` when its button is clicked.
std::function<bool(int, int, HWND)> EndOnClick(ProbeDialog& dialog, int result) {
    return [&dialog, result](int id, int code, HWND) {
        if (id != kButtonId || code != BN_CLICKED) return false;
        dialog.End(result);
        return true;
    };
}

// Runs the calling thread's messages for modeless dialogs until `done` or the limit.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    // One message at a time: a worker that keeps posting keeps the queue from ever emptying.
    while (true) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        MSG message;
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        } else if (!PreTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void PumpFor(std::chrono::milliseconds span) {
    PumpUntil([] { return false; }, span);
}

TEST(UiModalDialog, RunsInitThenCommandsAndReturnsTheEndResult) {
    const DialogTemplate layout = EditAndButton();
    ProbeDialog dialog(layout.get());
    HWND window = nullptr;
    bool visible_at_click = false;
    dialog.on_init = [&](ProbeDialog& d) {
        window = d.hwnd();
        PostClick(d);
    };
    dialog.on_command = [&](int id, int code, HWND control) {
        if (id != kButtonId || code != BN_CLICKED) return false;
        EXPECT_EQ(control, dialog.button());
        visible_at_click = IsWindowVisible(dialog.hwnd()) != FALSE;
        dialog.End(42);
        return true;
    };

    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_EQ(dialog.inits, 1);
    EXPECT_EQ(dialog.destroys, 1);
    EXPECT_TRUE(visible_at_click) << "a modal dialog is shown once its initialisation is done";
    EXPECT_FALSE(dialog.is_open());
    EXPECT_FALSE(IsWindow(window)) << "the window goes when DoModal returns";

    // The same object runs again.
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_EQ(dialog.inits, 2);
}

TEST(UiModalDialog, PreTranslateSeesQueuedKeysFirstAndCanSwallowThem) {
    const DialogTemplate layout = EditAndButton();
    ProbeDialog dialog(layout.get());
    HWND edit = nullptr;
    std::wstring text_at_click;
    dialog.on_init = [&](ProbeDialog& d) {
        edit = d.edit().hwnd();
        // Escape would cancel the dialog if the dialog manager saw it.
        PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageW(edit, WM_CHAR, L'x', 1);
        PostClick(d);
    };
    dialog.swallow = [](MSG& message) {
        return message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE;
    };
    dialog.on_command = [&](int id, int code, HWND) {
        if (id != kButtonId) return false;
        text_at_click = dialog.edit().Text();
        dialog.End(42);
        return true;
    };

    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_EQ(dialog.cancels, 0) << "the swallowed Escape reached the dialog manager";
    const std::vector<Key> expected = {{edit, WM_KEYDOWN, VK_ESCAPE}, {edit, WM_CHAR, L'x'}};
    EXPECT_EQ(dialog.keys_seen, expected) << "keys for a control are offered to its dialog";
    EXPECT_EQ(text_at_click, L"x") << "a key that is not swallowed is dispatched";
}

TEST(UiModalDialog, KeysNotSwallowedReachTheDialogManager) {
    const DialogTemplate layout = EditAndButton();
    ProbeDialog dialog(layout.get());
    dialog.on_init = [](ProbeDialog& d) {
        PostMessageW(d.edit().hwnd(), WM_KEYDOWN, VK_ESCAPE, 1);
    };

    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.cancels, 1) << "Escape in a dialog is a cancel";
}

TEST(UiModalDialog, DisablesItsOwnerWhileRunningAndHandsActivationBack) {
    const DialogTemplate layout = EditAndButton();
    ProbeDialog owner(layout.get());
    ASSERT_TRUE(owner.Create());
    owner.Show(SW_SHOW);
    // A dialog owned by one of the owner's controls disables the owner's top-level window.
    const HWND owner_control = owner.edit().hwnd();

    ProbeDialog modal(layout.get());
    bool owner_enabled_while_running = true;
    HWND owner_of_modal = nullptr;
    modal.on_init = [&](ProbeDialog& d) { PostClick(d); };
    modal.on_command = [&](int id, int, HWND) {
        if (id != kButtonId) return false;
        owner_enabled_while_running = owner.IsEnabled();
        owner_of_modal = GetWindow(modal.hwnd(), GW_OWNER);
        modal.End(1);
        return true;
    };
    EXPECT_EQ(modal.DoModal(owner_control), 1);
    EXPECT_FALSE(owner_enabled_while_running);
    EXPECT_EQ(owner_of_modal, owner.hwnd());
    EXPECT_TRUE(owner.IsEnabled());
    EXPECT_EQ(GetActiveWindow(), owner.hwnd());

    // An owner that was disabled before stays disabled.
    owner.Enable(false);
    EXPECT_EQ(modal.DoModal(owner.hwnd()), 1);
    EXPECT_FALSE(owner.IsEnabled());
}

TEST(UiModalDialog, EndInsideInitReturnsWithoutShowingTheDialog) {
    const DialogTemplate layout = EditAndButton();
    ProbeDialog owner(layout.get());
    ASSERT_TRUE(owner.Create());
    ProbeDialog dialog(layout.get());
    dialog.on_init = [](ProbeDialog& d) { d.End(IDOK); };

    EXPECT_EQ(dialog.DoModal(owner.hwnd()), IDOK);
    EXPECT_EQ(dialog.destroys, 1);
    EXPECT_FALSE(dialog.visible_at_destroy);
    EXPECT_TRUE(owner.IsEnabled());
}

TEST(UiModalDialog, QuitEndsTheLoopAndIsPassedOnToTheLoopOutside) {
    const DialogTemplate layout = EditAndButton();
    ProbeDialog dialog(layout.get());
    dialog.on_init = [](ProbeDialog&) { PostQuitMessage(5); };

    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_FALSE(dialog.is_open());
    MSG quit{};
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 5u);
}

// A control that takes its queued messages first and swallows the character 'z'.
class EditSpy : public SubclassedWnd {
  public:
    std::vector<WPARAM> chars_seen;

    bool PreTranslateMessage(MSG& message) override {
        if (message.message != WM_CHAR) return false;
        chars_seen.push_back(message.wParam);
        return message.wParam == L'z';
    }
};

class KeyApp : public App {
  public:
    std::vector<WPARAM> chars_seen;

    bool PreTranslateMessage(MSG& message) override {
        if (message.message != WM_CHAR) return false;
        chars_seen.push_back(message.wParam);
        return message.wParam == L'q';
    }
};

TEST(UiApp, RunsTheMainDialogAndOffersMessagesFromTheAppInwardsOut) {
    const DialogTemplate layout = EditAndButton();
    KeyApp app;
    ProbeDialog dialog(layout.get());
    EditSpy spy;
    App* current_in_dialog = nullptr;
    HWND main_window_in_dialog = nullptr;
    std::atomic<App*> current_on_worker{&app};
    dialog.on_init = [&](ProbeDialog& d) {
        current_in_dialog = App::Current();
        main_window_in_dialog = app.main_window();
        std::thread([&] { current_on_worker = App::Current(); }).join();
        EXPECT_TRUE(spy.Subclass(d.edit().hwnd()));
        for (wchar_t c : {L'q', L'z', L'x'}) PostMessageW(d.edit().hwnd(), WM_CHAR, c, 1);
        PostClick(d);
    };
    dialog.on_command = EndOnClick(dialog, 9);

    EXPECT_EQ(app.Run(dialog), 9);
    EXPECT_EQ(current_in_dialog, &app);
    EXPECT_EQ(current_on_worker.load(), nullptr) << "only the thread that runs the app has it";
    EXPECT_NE(main_window_in_dialog, nullptr);
    EXPECT_EQ(App::Current(), nullptr);
    EXPECT_EQ(app.main_window(), nullptr);

    EXPECT_EQ(app.chars_seen, (std::vector<WPARAM>{L'q', L'z', L'x'}));
    EXPECT_EQ(spy.chars_seen, (std::vector<WPARAM>{L'z', L'x'})) << "the app swallowed 'q'";
    std::vector<WPARAM> dialog_chars;
    for (const Key& key : dialog.keys_seen)
        if (key.message == WM_CHAR) dialog_chars.push_back(key.code);
    EXPECT_EQ(dialog_chars, std::vector<WPARAM>{L'x'}) << "the control swallowed 'z'";
    EXPECT_EQ(dialog.edit_text_at_destroy, L"x");
}

TEST(UiModelessDialog, RunsInAnotherDialogsLoopAndEndsByGoingAway) {
    const DialogTemplate layout = EditAndButton();
    ProbeDialog modeless(layout.get());
    ASSERT_TRUE(modeless.Create());
    EXPECT_EQ(modeless.inits, 1);
    EXPECT_TRUE(modeless.is_open());
    modeless.Show(SW_SHOW);
    const HWND modeless_edit = modeless.edit().hwnd();

    // Its keys pass through its own PreTranslateMessage and dialog manager inside the modal
    // loop of an unrelated dialog: the character is typed, Escape cancels it.
    ProbeDialog modal(layout.get());
    modal.on_init = [&](ProbeDialog& d) {
        PostMessageW(modeless_edit, WM_CHAR, L'm', 1);
        PostMessageW(modeless_edit, WM_KEYDOWN, VK_ESCAPE, 1);
        PostClick(d);
    };
    modal.on_command = EndOnClick(modal, 1);
    EXPECT_EQ(modal.DoModal(), 1);

    const std::vector<Key> expected = {{modeless_edit, WM_CHAR, L'm'},
                                       {modeless_edit, WM_KEYDOWN, VK_ESCAPE}};
    EXPECT_EQ(modeless.keys_seen, expected);
    EXPECT_TRUE(modal.keys_seen.empty()) << "another dialog's keys are not the modal one's";
    EXPECT_EQ(modeless.cancels, 1);
    EXPECT_EQ(modeless.edit_text_at_destroy, L"m");
    EXPECT_FALSE(modeless.is_open());
    EXPECT_EQ(modeless.result(), IDCANCEL);
    EXPECT_EQ(modeless.destroys, 1);

    // Ended from code, and destroyed with its object.
    ASSERT_TRUE(modeless.Create());
    const HWND second = modeless.hwnd();
    modeless.End(3);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(modeless.result(), 3);
    HWND third = nullptr;
    {
        ProbeDialog scoped(layout.get());
        ASSERT_TRUE(scoped.Create());
        third = scoped.hwnd();
    }
    EXPECT_FALSE(IsWindow(third));
}

// An owner-drawn button that paints itself when its dialog reflects WM_DRAWITEM, and sees its
// own clicks without taking them from the dialog.
class DrawnButton : public SubclassedWnd {
  public:
    std::vector<DRAWITEMSTRUCT> draws;
    int clicks = 0;

    std::optional<LRESULT> OnReflected(UINT message, WPARAM wparam, LPARAM lparam) override {
        if (message == WM_DRAWITEM) {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
            draws.push_back(item);
            FillRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            return TRUE;
        }
        if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) ++clicks;
        return std::nullopt;
    }
};

TEST(UiReflection, OwnerDrawnButtonDrawsItselfAndItsClicksStillReachTheDialog) {
    const DialogTemplate layout = EditAndButton(BS_OWNERDRAW);
    ProbeDialog dialog(layout.get());
    DrawnButton button;
    int dialog_clicks = 0;
    dialog.on_init = [&](ProbeDialog& d) { EXPECT_TRUE(button.Subclass(d.button())); };
    dialog.on_command = [&](int id, int code, HWND) {
        if (id == kButtonId && code == BN_CLICKED) ++dialog_clicks;
        return id == kButtonId;
    };
    ASSERT_TRUE(dialog.Create());
    dialog.Show(SW_SHOW);

    RedrawWindow(dialog.button(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ASSERT_FALSE(button.draws.empty()) << "WM_DRAWITEM did not reach the button";
    EXPECT_EQ(button.draws.back().CtlID, static_cast<UINT>(kButtonId));
    EXPECT_EQ(button.draws.back().hwndItem, dialog.button());
    EXPECT_TRUE(dialog.control_messages_seen.empty()) << "the button answered; the dialog must not";

    Button(dialog.button()).Click();
    EXPECT_EQ(button.clicks, 1);
    EXPECT_EQ(dialog_clicks, 1) << "a control that lets a message pass leaves it to the dialog";

    // The dialog's end takes the control's subclass with it.
    dialog.End(0);
    EXPECT_EQ(button.hwnd(), nullptr);
}

// An owner-data list that adds the owner-draw style itself, as controls attached in
// OnInitDialog do, so that only a later measure request can reach it.
class MeasuredList : public SubclassedWnd {
  public:
    static constexpr UINT kRowHeight = 37;
    int measures = 0;
    std::vector<UINT> rows_drawn;

    std::optional<LRESULT> OnReflected(UINT message, WPARAM, LPARAM lparam) override {
        switch (message) {
            case WM_MEASUREITEM:
                ++measures;
                reinterpret_cast<MEASUREITEMSTRUCT*>(lparam)->itemHeight = kRowHeight;
                return TRUE;
            case WM_DRAWITEM:
                rows_drawn.push_back(reinterpret_cast<const DRAWITEMSTRUCT*>(lparam)->itemID);
                return TRUE;
            case WM_NOTIFY:
                if (reinterpret_cast<const NMHDR*>(lparam)->code == NM_RCLICK) return 5;
                return std::nullopt;
            default:
                return std::nullopt;
        }
    }

  protected:
    void PreSubclass() override { SetStyle(Style() | LVS_OWNERDRAWFIXED); }
};

DialogTemplate ListDialog() {
    DialogTemplate dialog(kDialogStyle, 200, 150, L"List");
    dialog.Add(WC_LISTVIEWW, kListId, WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA,
               {5, 5, 190, 140}, L"");
    return dialog;
}

TEST(UiReflection, ListMeasuredAfterSubclassingDrawsItsRowsAndAnswersNotifications) {
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_LISTVIEW_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&classes));
    const DialogTemplate layout = ListDialog();
    ProbeDialog dialog(layout.get());
    MeasuredList list;
    std::vector<UINT> notifications_seen;
    dialog.on_init = [&](ProbeDialog& d) { EXPECT_TRUE(list.SubclassItem(d.hwnd(), kListId)); };
    dialog.on_notify = [&](NMHDR* header) -> std::optional<LRESULT> {
        // The list's own notifications (focus, custom draw, ...) are not the test's.
        if (header->code != NM_RCLICK && header->code != NM_DBLCLK) return std::nullopt;
        notifications_seen.push_back(header->code);
        return 9;
    };
    ASSERT_TRUE(dialog.Create());
    dialog.Show(SW_SHOW);
    ListView view(list.hwnd());
    view.InsertColumn(0, L"Name", 300);
    view.SetItemCount(3);

    view.RequestItemHeight();
    EXPECT_GE(list.measures, 1);
    RECT row{};
    ASSERT_TRUE(view.ItemRect(0, LVIR_BOUNDS, row));
    EXPECT_EQ(row.bottom - row.top, static_cast<LONG>(MeasuredList::kRowHeight));
    EXPECT_TRUE(dialog.control_messages_seen.empty());

    RedrawWindow(view.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(list.rows_drawn, (std::vector<UINT>{0, 1, 2}));

    // The answer travels through DWLP_MSGRESULT to whoever sent the notification.
    NMHDR click{view.hwnd(), static_cast<UINT_PTR>(kListId), static_cast<UINT>(NM_RCLICK)};
    EXPECT_EQ(SendMessageW(dialog.hwnd(), WM_NOTIFY, kListId, reinterpret_cast<LPARAM>(&click)), 5);
    EXPECT_TRUE(notifications_seen.empty()) << "the list answered NM_RCLICK itself";
    NMHDR double_click{view.hwnd(), static_cast<UINT_PTR>(kListId), static_cast<UINT>(NM_DBLCLK)};
    EXPECT_EQ(
        SendMessageW(dialog.hwnd(), WM_NOTIFY, kListId, reinterpret_cast<LPARAM>(&double_click)),
        9);
    EXPECT_EQ(notifications_seen, std::vector<UINT>{static_cast<UINT>(NM_DBLCLK)});

    // Let go while the window lives: nothing reaches the object any more.
    const HWND list_window = view.hwnd();
    list.Unsubclass();
    EXPECT_EQ(SubclassedWnd::FromHandle(list_window), nullptr);
    const int measures = list.measures;
    ListView(list_window).RequestItemHeight();
    EXPECT_EQ(list.measures, measures);
    EXPECT_EQ(dialog.control_messages_seen, std::vector<UINT>{WM_MEASUREITEM})
        << "with no control to answer, the dialog sees the request";
}

TEST(UiPost, WorkerTasksRunOnTheWindowsThreadInOrder) {
    constexpr int kTasks = 500;
    const DialogTemplate layout = EditAndButton();
    ProbeDialog dialog(layout.get());
    std::vector<int> order;
    std::vector<DWORD> threads;
    std::atomic<int> refused{0};
    std::thread worker;
    dialog.on_init = [&](ProbeDialog& d) {
        const HWND window = d.hwnd();
        worker = std::thread([&, window] {
            for (int i = 0; i < kTasks; ++i) {
                if (!Post(window, [&, i] {
                        order.push_back(i);
                        threads.push_back(GetCurrentThreadId());
                    }))
                    ++refused;
            }
            if (!Post(window, [&] { dialog.End(1); })) ++refused;
        });
    };

    EXPECT_EQ(dialog.DoModal(), 1);
    worker.join();
    EXPECT_EQ(refused.load(), 0);
    ASSERT_EQ(order.size(), static_cast<size_t>(kTasks));
    for (int i = 0; i < kTasks; ++i) ASSERT_EQ(order[i], i);
    for (DWORD thread : threads) ASSERT_EQ(thread, GetCurrentThreadId());
}

TEST(UiPost, TasksForAWindowThatIsGoneAreDestroyedWithoutRunning) {
    const DialogTemplate layout = EditAndButton();
    auto token = std::make_shared<int>(0);
    int ran = 0;

    // Queued, then the window goes before its messages are read.
    ProbeDialog dialog(layout.get());
    ASSERT_TRUE(dialog.Create());
    const HWND window = dialog.hwnd();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Post(window, [token, &ran] { ++ran; }));
    EXPECT_EQ(token.use_count(), 4);
    dialog.End(0);
    EXPECT_EQ(token.use_count(), 1) << "the queued tasks went with the window";

    // Posted afterwards, or to a window that is not ours.
    EXPECT_FALSE(Post(window, [token, &ran] { ++ran; }));
    const HWND foreign = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                         nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(foreign, nullptr);
    EXPECT_FALSE(Post(foreign, [token, &ran] { ++ran; }));
    DestroyWindow(foreign);
    EXPECT_EQ(token.use_count(), 1);
    PumpFor(100ms);
    EXPECT_EQ(ran, 0);
}

TEST(UiPost, WorkerPostingWhileTheWindowGoesNeitherRunsLateNorLeaks) {
    const DialogTemplate layout = EditAndButton();
    ProbeDialog dialog(layout.get());
    ASSERT_TRUE(dialog.Create());
    const HWND window = dialog.hwnd();
    auto token = std::make_shared<int>(0);
    std::atomic<int> ran{0};
    bool gone = false;  // both only touched on this thread
    int ran_late = 0;
    std::atomic<bool> refused{false};
    std::atomic<bool> stop{false};
    std::thread worker([&, window, token] {
        while (!stop) {
            if (!Post(window, [&, token] {
                    ++ran;
                    if (gone) ++ran_late;
                })) {
                refused = true;
                return;
            }
            std::this_thread::yield();
        }
    });

    EXPECT_TRUE(PumpUntil([&] { return ran.load() >= 200; }, 10s));
    dialog.End(0);
    gone = true;
    EXPECT_TRUE(PumpUntil([&] { return refused.load(); }, 5s))
        << "posts to the gone window were taken";
    stop = true;
    worker.join();
    PumpFor(100ms);
    EXPECT_EQ(ran_late, 0);
    EXPECT_EQ(token.use_count(), 1);
}

TEST(UiControls, ReadBackWhatTheyWereGivenAndPlaceInParentCoordinates) {
    DialogTemplate layout(kDialogStyle, 200, 120, L"Controls");
    layout.Add(testing::kComboBox, 1, WS_TABSTOP | CBS_DROPDOWN | WS_VSCROLL, {5, 5, 150, 80}, L"");
    layout.Add(testing::kEdit, 2, WS_BORDER, {5, 30, 150, 44}, L"");
    ProbeDialog dialog(layout.get());
    ASSERT_TRUE(dialog.Create());

    ComboBox combo(GetDlgItem(dialog.hwnd(), 1));
    combo.Add(L"first");
    combo.Add(L"");
    combo.Add(L"a somewhat longer entry");
    EXPECT_EQ(combo.ItemText(0), L"first");
    EXPECT_EQ(combo.ItemText(1), L"");
    EXPECT_EQ(combo.ItemText(2), L"a somewhat longer entry");
    EXPECT_EQ(combo.ItemText(3), L"") << "past the end";
    EXPECT_EQ(combo.FindExact(-1, L"FIRST"), 0);
    const HWND field = combo.EditField();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(GetParent(field), combo.hwnd()) << "the edit field is the box's own child";

    // Where Move puts a control is what RectInParent reads, under a caption and a frame.
    Wnd edit(GetDlgItem(dialog.hwnd(), 2));
    const RECT target{12, 70, 112, 91};
    ASSERT_TRUE(edit.Move(target));
    const RECT read = edit.RectInParent();
    EXPECT_EQ(read.left, target.left);
    EXPECT_EQ(read.top, target.top);
    EXPECT_EQ(read.right, target.right);
    EXPECT_EQ(read.bottom, target.bottom);
    edit.SetText(L"status text");
    EXPECT_EQ(edit.Text(), L"status text");
}

TEST(UiGdi, GuardsPutBackWhatTheyChanged) {
    WindowDc screen(nullptr);
    ASSERT_TRUE(screen);
    MemoryDc memory(screen.get());
    ASSERT_TRUE(memory);
    const HGDIOBJ original_brush = GetCurrentObject(memory.get(), OBJ_BRUSH);

    HBRUSH brush_handle = nullptr;
    {
        Brush brush = SolidBrush(RGB(1, 2, 3));
        brush_handle = brush.get();
        {
            Selected selected(memory.get(), brush.get());
            EXPECT_EQ(GetCurrentObject(memory.get(), OBJ_BRUSH), brush.get());
            SavedDc saved(memory.get());
            SetTextColor(memory.get(), RGB(9, 9, 9));
            SelectObject(memory.get(), GetStockObject(BLACK_BRUSH));
        }
        EXPECT_EQ(GetCurrentObject(memory.get(), OBJ_BRUSH), original_brush);
        EXPECT_NE(GetTextColor(memory.get()), RGB(9, 9, 9));
        EXPECT_EQ(GetObjectType(brush_handle), static_cast<DWORD>(OBJ_BRUSH));
        Brush moved = std::move(brush);
        EXPECT_EQ(moved.get(), brush_handle);
        EXPECT_FALSE(brush);
    }
    EXPECT_EQ(GetObjectType(brush_handle), 0u) << "the brush outlived its owner";

    {
        WaitCursor wait;
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
    }
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

}  // namespace
}  // namespace corvella::ui
