// Change notification over one root: which folders below it had something change.
//
// Windows reads ReadDirectoryChangesW over the whole drive. Linux keeps one inotify watch per
// folder, added as folders appear and dropped as they go. Either way a change comes out as the
// full path of the folder in which it happened, with a trailing separator.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace corvella::platform {

class ChangeSource {
  public:
    enum class ReadResult {
        Changes,  // `folders` has one or more entries appended
        Nothing,  // the read ended with nothing to report (an empty or discarded batch)
        Woken,    // Wake was called; the reader should look at its stop flag
        Failed,   // the read failed; the caller decides whether to try again later
    };

    virtual ~ChangeSource() = default;

    // Starts watching `root` (ends with the separator). False when the root cannot be opened
    // for notification; `problem` then says why, in words for the user.
    virtual bool Open(const std::u16string& root, std::u16string& problem) = 0;
    // Blocks until changes arrive or Wake is called, then appends the changed folders in the
    // order the system reported them.
    virtual ReadResult Read(std::vector<std::u16string>& folders) = 0;
    // Callable from any thread, at any time after Open: ends a Read that blocks now, or the next
    // one if none blocks yet. A wake is never lost.
    virtual void Wake() = 0;
    // A message the user should see once (the kernel's watch limit reached, ...), else empty.
    // Taking it clears it.
    virtual std::u16string TakeNotice() = 0;
    // Ends watching; Read must not be running. Safe to repeat.
    virtual void Close() = 0;
};

// The system's change notification for this platform.
std::unique_ptr<ChangeSource> MakeSystemChangeSource();

}  // namespace corvella::platform
