// Whether the mouse is over a control. The system tells a control that the mouse has left only
// when asked, once per entry, so the first move inside sets the state and asks.
#pragma once

#include <windows.h>

namespace corvella {

class MouseHover {
  public:
    // On WM_MOUSEMOVE. True when the mouse has just come in: the control repaints its hot look.
    bool Moved(HWND control) {
        if (inside_) return false;
        inside_ = true;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, control, 0};
        TrackMouseEvent(&track);
        return true;
    }
    // On WM_MOUSELEAVE.
    void Left() { inside_ = false; }
    bool inside() const { return inside_; }

  private:
    bool inside_ = false;
};

}  // namespace corvella
