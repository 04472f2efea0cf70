// Dialogs: from a template in the executable's resources or in memory, modal or modeless.
//
// A Dialog owns its window. All its messages arrive through one dialog procedure, which finds the
// object by the pointer stored at WM_INITDIALOG, first offers the control messages of subclassed
// controls back to them (see SubclassedWnd::OnReflected), and then calls OnMessage, whose
// switch hands the common messages to the typed hooks. Data in, data out: set public fields of
// the derived dialog, run it, read them back.
//
// Modal and modeless differ only in how they end. A modal dialog runs its own message loop, in
// which every queued message is first offered to PreTranslate (app.h), so the windows on its way
// can look at it and swallow it before the dialog manager does; End leaves that loop. A modeless
// dialog lives in whichever loop runs; End destroys it.
#pragma once

#include <windows.h>

#include <optional>

#include "ui/wnd.h"

namespace corvella::ui {

class Dialog : public Wnd {
  public:
    // The dialog resource `resource_id` of the executable.
    explicit Dialog(UINT resource_id);
    // A template in memory, which must stay valid while the dialog is created.
    explicit Dialog(const DLGTEMPLATE* in_memory);
    // Destroys a window that is still open. The derived part is gone by then: a dialog whose
    // OnDestroy matters ends itself before it is destroyed.
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog until End and returns End's result; -1 when it cannot be created (or is
    // open already). The owner's top-level window is disabled while the dialog runs and gets
    // the activation back afterwards. The dialog is shown after OnInitDialog unless it ended
    // there. A WM_QUIT ends the dialog with IDCANCEL and is posted again for the loop outside.
    int DoModal(HWND owner = nullptr);
    // Creates the dialog modeless; shown when its template is visible. False when it cannot
    // be created (or is open already).
    bool Create(HWND parent = nullptr);
    // Ends the dialog with `result`. On the dialog's own thread; another thread posts it
    // (post.h).
    void End(int result);

    bool is_open() const { return hwnd_ != nullptr; }
    // What End was given; IDCANCEL before that.
    int result() const { return result_; }

    // Whether `message` is a key message of Enter (down, up, or its character '\r', which is the
    // same number as VK_RETURN): dialogs that must never take Enter as OK swallow all of them.
    static bool IsEnterKey(const MSG& message);

    // The dialog of `window`, if `window` is a dialog of this framework.
    static Dialog* FromHandle(HWND window);

    // Called with each queued message for this dialog or one of its controls before it is
    // dispatched (app.h, PreTranslate); true swallows it.
    virtual bool PreTranslateMessage(MSG& message) { return false; }

  protected:
    // True lets the dialog manager focus the first control; return false after setting focus.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }
    // True when handled. IDOK and IDCANCEL reach OnOK and OnCancel when this leaves them.
    virtual bool OnCommand(int id, int code, HWND control) { return false; }
    // A value answers the notification (the system reads it from DWLP_MSGRESULT).
    virtual std::optional<LRESULT> OnNotify(int id, NMHDR* header) { return std::nullopt; }
    // The typed hooks return true when they handled the message; false leaves it to the
    // dialog manager. A hook that wants the default processing first calls Default.
    virtual bool OnSize(UINT type, int width, int height) { return false; }
    virtual bool OnSysCommand(UINT command, LPARAM lparam) { return false; }
    virtual bool OnPaint() { return false; }
    virtual bool OnTimer(UINT_PTR id) { return false; }
    // The window is being destroyed; its controls still exist.
    virtual void OnDestroy() {}

    // Every message after WM_INITDIALOG. A value answers the message; none leaves it to the
    // dialog manager. Overrides handle their own messages and pass the rest to this.
    virtual std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam);

    // The processing a message gets from the dialog manager when the dialog leaves it alone,
    // for the messages it passes on to DefWindowProc (WM_SYSCOMMAND, WM_PAINT, WM_SIZE, WM_TIMER,
    // ...). Calling the dialog manager itself from here would come back into this dialog.
    LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam) {
        return DefWindowProcW(hwnd_, message, wparam, lparam);
    }

  private:
    HWND CreateWindowFromTemplate(HWND parent);
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    HINSTANCE instance_ = nullptr;
    UINT resource_id_ = 0;
    const DLGTEMPLATE* in_memory_ = nullptr;
    bool modal_ = false;
    bool ended_ = false;
    int result_ = IDCANCEL;
};

}  // namespace corvella::ui
