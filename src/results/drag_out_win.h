// Rows dragged out of the results list to another window (Explorer, the desktop, a mail
// message), carried as the system's file drop list.
#pragma once

#include <vector>

#include "results/result_actions.h"

namespace corvella {

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
