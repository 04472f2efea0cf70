// Where the engine's messages go. The engine never shows windows or prints: the desktop program
// passes its error box and status line, the command line passes stderr.
#pragma once

#include <string_view>

namespace corvella {

// What every part of the engine says when memory runs out.
inline constexpr std::u16string_view kOutOfMemory = u"Out of memory!";

class ErrorSink {
  public:
    virtual ~ErrorSink() = default;
    // A failure the user must know of, in the system's fixed wording.
    virtual void ShowError(std::u16string_view message) = 0;
    // A failure of one file: the fixed message, then which file and why. A window shows the
    // message alone, in its fixed wording; a console adds the file and the reason below it.
    virtual void ShowFileError(std::u16string_view message, std::u16string_view path,
                               std::u16string_view reason) {
        (void)path;
        (void)reason;
        ShowError(message);
    }
};

class StatusSink {
  public:
    virtual ~StatusSink() = default;
    // Replaces the progress or summary text.
    virtual void SetStatusText(std::u16string_view text) = 0;
    // A folder a build could not list (no permission to read or enter it): its entry is kept
    // without contents. `folder` ends with its separator. The window's status line has no
    // room for these; the command line names them.
    virtual void FolderNotRead(std::u16string_view /*folder*/) {}
};

}  // namespace corvella
