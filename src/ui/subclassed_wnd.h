// A control whose messages pass through an object first: its own window procedure, the
// messages its parent dialog reflects back to it, and a first look at its queued messages.
//
// The object does not own the window (the dialog does); it attaches to an existing control and
// lets go when the control is destroyed or the object is, whichever comes first.
#pragma once

#include <windows.h>

#include <optional>

#include "ui/wnd.h"

namespace corvella::ui {

class SubclassedWnd : public Wnd {
  public:
    SubclassedWnd() = default;
    virtual ~SubclassedWnd() { Unsubclass(); }
    SubclassedWnd(const SubclassedWnd&) = delete;
    SubclassedWnd& operator=(const SubclassedWnd&) = delete;

    // Routes `control`'s messages through this object, after PreSubclass. False when the object
    // is attached already or the control is another object's.
    bool Subclass(HWND control);
    bool SubclassItem(HWND dialog, int id) { return Subclass(GetDlgItem(dialog, id)); }
    void Unsubclass();

    // The object `window` is subclassed by, if any.
    static SubclassedWnd* FromHandle(HWND window);

    // Called by the parent dialog with a WM_COMMAND, WM_NOTIFY, WM_DRAWITEM or WM_MEASUREITEM
    // that the control sent about itself, before the dialog's own handlers. A value answers the
    // message and the dialog does not see it; none passes it on to the dialog.
    virtual std::optional<LRESULT> OnReflected(UINT message, WPARAM wparam, LPARAM lparam) {
        return std::nullopt;
    }
    // Called with each queued message for the control before it is dispatched; true swallows it.
    virtual bool PreTranslateMessage(MSG& message) { return false; }

  protected:
    // Before the first message arrives: style changes that must be in place from the start.
    virtual void PreSubclass() {}
    // Every message the control receives. What is not handled goes to Default.
    virtual LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
        return Default(message, wparam, lparam);
    }
    // The control's own processing. Only valid inside WindowProc.
    LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam);

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR id, DWORD_PTR object);
};

}  // namespace corvella::ui
