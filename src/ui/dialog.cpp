#include "ui/dialog.h"

#include <commctrl.h>

#include "ui/app.h"
#include "ui/post.h"
#include "ui/subclassed_wnd.h"

namespace corvella::ui {

namespace {

// The window's top-level ancestor, which is what a modal dialog disables: a dialog owned by a
// child window is owned by that child's top-level window.
HWND TopLevelOf(HWND window) {
    return window ? GetAncestor(window, GA_ROOT) : nullptr;
}

// The subclassed control a control message is about, if there is one.
SubclassedWnd* ReflectionTarget(HWND dialog, UINT message, LPARAM lparam) {
    HWND control = nullptr;
    switch (message) {
        case WM_COMMAND:  // lparam is 0 for menus and accelerators
            control = reinterpret_cast<HWND>(lparam);
            break;
        case WM_NOTIFY:
            control = reinterpret_cast<const NMHDR*>(lparam)->hwndFrom;
            break;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
            if (item->CtlType != ODT_MENU) control = item->hwndItem;
            break;
        }
        case WM_MEASUREITEM: {
            // No window in the request, only the id. Looked up at each request, so a request
            // made after the control was subclassed reaches it.
            const auto* item = reinterpret_cast<const MEASUREITEMSTRUCT*>(lparam);
            if (item->CtlType != ODT_MENU) control = GetDlgItem(dialog, item->CtlID);
            break;
        }
        default:
            return nullptr;
    }
    return SubclassedWnd::FromHandle(control);
}

// A dialog procedure returns most answers through DWLP_MSGRESULT and TRUE; these few messages
// take the answer as the procedure's return value instead.
INT_PTR Answer(HWND dialog, UINT message, LRESULT result) {
    switch (message) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return static_cast<INT_PTR>(result);
        default:
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
            return TRUE;
    }
}

}  // namespace

Dialog::Dialog(UINT resource_id)
    : instance_(GetModuleHandleW(nullptr)), resource_id_(resource_id) {}

Dialog::Dialog(const DLGTEMPLATE* in_memory)
    : instance_(GetModuleHandleW(nullptr)), in_memory_(in_memory) {}

Dialog::~Dialog() {
    if (hwnd_) DestroyWindow(hwnd_);
}

HWND Dialog::CreateWindowFromTemplate(HWND parent) {
    const auto object = reinterpret_cast<LPARAM>(this);
    if (in_memory_)
        return CreateDialogIndirectParamW(instance_, in_memory_, parent, Procedure, object);
    return CreateDialogParamW(instance_, MAKEINTRESOURCEW(resource_id_), parent, Procedure, object);
}

bool Dialog::Create(HWND parent) {
    if (hwnd_) return false;
    modal_ = false;
    ended_ = false;
    result_ = IDCANCEL;
    // A dialog that ends inside OnInitDialog is created and destroyed again.
    return CreateWindowFromTemplate(parent) != nullptr && hwnd_ != nullptr;
}

int Dialog::DoModal(HWND owner) {
    if (hwnd_) return -1;
    modal_ = true;
    ended_ = false;
    result_ = IDCANCEL;
    if (!CreateWindowFromTemplate(owner)) return -1;

    const HWND top_owner = TopLevelOf(owner);
    // Disabled only when it was enabled, so that a disabled owner stays disabled.
    const bool disabled_owner = !ended_ && top_owner && !EnableWindow(top_owner, FALSE);
    if (!ended_) ShowWindow(hwnd_, SW_SHOW);

    bool quit = false;
    WPARAM quit_code = 0;
    MSG message{};
    while (!ended_ && hwnd_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            quit = true;
            quit_code = message.wParam;
            break;
        }
        if (!PreTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    // The owner is enabled before the dialog goes, so that the system activates it and not a
    // window of some other program.
    if (disabled_owner) EnableWindow(top_owner, TRUE);
    if (hwnd_) DestroyWindow(hwnd_);
    if (top_owner && IsWindowVisible(top_owner)) SetActiveWindow(top_owner);
    if (quit) PostQuitMessage(static_cast<int>(quit_code));
    return result_;
}

void Dialog::End(int result) {
    result_ = result;
    ended_ = true;
    if (!modal_ && hwnd_) DestroyWindow(hwnd_);
}

bool Dialog::IsEnterKey(const MSG& message) {
    switch (message.message) {
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_CHAR:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
            return message.wParam == VK_RETURN;
        default:
            return false;
    }
}

Dialog* Dialog::FromHandle(HWND window) {
    if (!window) return nullptr;
    // Only a window of the dialog class has a dialog procedure; only ours has this one, and only
    // ours keep their object in DWLP_USER.
    if (GetClassLongPtrW(window, GCW_ATOM) != reinterpret_cast<ULONG_PTR>(WC_DIALOG))
        return nullptr;
    if (GetWindowLongPtrW(window, DWLP_DLGPROC) != reinterpret_cast<LONG_PTR>(Procedure))
        return nullptr;
    return reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
}

std::optional<LRESULT> Dialog::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wparam);
            const int code = HIWORD(wparam);
            if (OnCommand(id, code, reinterpret_cast<HWND>(lparam))) return 0;
            if (code != BN_CLICKED) return std::nullopt;
            if (id == IDOK) {
                OnOK();
                return 0;
            }
            if (id == IDCANCEL) {
                OnCancel();
                return 0;
            }
            return std::nullopt;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lparam);
            return OnNotify(static_cast<int>(header->idFrom), header);
        }
        case WM_SIZE:
            return OnSize(static_cast<UINT>(wparam), LOWORD(lparam), HIWORD(lparam))
                       ? std::optional<LRESULT>(0)
                       : std::nullopt;
        case WM_SYSCOMMAND:
            return OnSysCommand(static_cast<UINT>(wparam), lparam) ? std::optional<LRESULT>(0)
                                                                   : std::nullopt;
        case WM_PAINT:
            return OnPaint() ? std::optional<LRESULT>(0) : std::nullopt;
        case WM_TIMER:
            return OnTimer(static_cast<UINT_PTR>(wparam)) ? std::optional<LRESULT>(0)
                                                          : std::nullopt;
        case WM_DESTROY:
            OnDestroy();
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        self->hwnd_ = window;
        AcceptPosts(window);
        return self->OnInitDialog();
    }
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    // Messages before WM_INITDIALOG (WM_SETFONT, the controls' own creation) go to the dialog
    // manager alone.
    if (!self) return FALSE;

    if (message == PostedMessage()) {
        RunPosted(window);
        return TRUE;
    }
    if (message == WM_NCDESTROY) {
        DropPosts(window);
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        self->ended_ = true;  // a modal loop must not wait for a window that is gone
        return FALSE;
    }
    if (SubclassedWnd* control = ReflectionTarget(window, message, lparam)) {
        if (std::optional<LRESULT> result = control->OnReflected(message, wparam, lparam))
            return Answer(window, message, *result);
    }
    if (std::optional<LRESULT> result = self->OnMessage(message, wparam, lparam))
        return Answer(window, message, *result);
    return FALSE;
}

}  // namespace corvella::ui
