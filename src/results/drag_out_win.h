// Rows dragged out of the results list to another window (Explorer, the desktop, a mail
// message), carried as the system's file drop list.
#pragma once

#include <windows.h>
// The data object's interface builds on <windows.h>.
#include <objidl.h>

#include <vector>

#include "results/result_actions.h"

namespace corvella {

// One reference to a COM interface, released when it goes.
template <typename T>
class ComRef {
  public:
    ComRef() = default;
    explicit ComRef(T* taken) : pointer_(taken) {}
    ~ComRef() {
        if (pointer_) pointer_->Release();
    }
    ComRef(ComRef&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef& operator=(ComRef&&) = delete;
    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    void** out() { return reinterpret_cast<void**>(&pointer_); }

  private:
    T* pointer_ = nullptr;
};

// The data a drag of the rows carries (the rows of RowsToDrag): the file drop list, the shell's
// item-ID list where the shell gives one, and copy as the preferred effect; it keeps what drop
// targets write into it. Empty when there is nothing to drag or the data cannot be made.
ComRef<IDataObject> NewDragData(const std::vector<ActionRow>& rows);

enum class DragOutcome {
    NothingToDrag,  // no row the drag may carry (drives only, or a row that cannot be read)
    NotStarted,     // the system could not make the data or start the drag
    Cancelled,      // Escape, or released where nothing takes files
    Dropped,        // a window took the files; what it did with them is its own business
};

// Runs the drag, from the button already held down until it is released, on the window's
// thread (which must have OLE started). The rows and the list stay as they are whatever the
// target did: a move is seen by the watchers like any other.
DragOutcome DragRowsOut(const std::vector<ActionRow>& rows);

}  // namespace corvella
