// The command line's output: results on stdout, progress and messages on stderr. A progress
// line on a terminal is rewritten in place; elsewhere progress comes as plain lines, a few
// seconds apart (console_throttle.h).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "cache/sinks.h"
#include "cli/console_throttle.h"

namespace corvella {

class Console {
  public:
    virtual ~Console() = default;
    virtual void Out(std::u16string_view line) = 0;  // one line of stdout
    virtual void Err(std::u16string_view line) = 0;  // one line of stderr
    virtual void Progress(std::u16string_view text) = 0;
    // Ends a progress line still shown, so what follows starts on a line of its own.
    virtual void EndProgress() = 0;
};

// The process's own stdout and stderr, or two other streams.
class StdConsole final : public Console {
  public:
    explicit StdConsole(FILE* out = stdout, FILE* err = stderr);
    void Out(std::u16string_view line) override;
    void Err(std::u16string_view line) override;
    void Progress(std::u16string_view text) override;
    void EndProgress() override;

  private:
    void WriteErr(std::u16string_view text);
    FILE* out_;
    FILE* err_;
    bool err_is_terminal_ = false;
    size_t progress_length_ = 0;  // characters of the progress line now shown, 0 for none
    ProgressThrottle throttle_;   // off a terminal
};

// The line that names a file and the reason it failed: "corvella: FILE: REASON".
inline std::u16string FileReasonLine(std::u16string_view path, std::u16string_view reason) {
    return u"corvella: " + std::u16string(path) + u": " + std::u16string(reason);
}

// The engine's messages and progress, on the console.
class ConsoleErrors final : public ErrorSink {
  public:
    explicit ConsoleErrors(Console& console) : console_(console) {}
    void ShowError(std::u16string_view message) override { console_.Err(message); }
    void ShowFileError(std::u16string_view message, std::u16string_view path,
                       std::u16string_view reason) override {
        console_.Err(message);
        console_.Err(FileReasonLine(path, reason));
    }

  private:
    Console& console_;
};

class ConsoleStatus final : public StatusSink {
  public:
    // Folders named one a line; past these, the build's summary only counts them.
    static constexpr uint32_t kFoldersNamed = 20;

    explicit ConsoleStatus(Console& console) : console_(console) {}
    void SetStatusText(std::u16string_view text) override { console_.Progress(text); }
    void FolderNotRead(std::u16string_view folder) override;

  private:
    Console& console_;
    uint32_t folders_not_read_ = 0;
};

}  // namespace corvella
