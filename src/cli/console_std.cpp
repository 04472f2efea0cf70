#include <cstdio>

#include "cli/console.h"
#include "cli/console_io.h"
#include "platform/ticks.h"

namespace corvella {

StdConsole::StdConsole(FILE* out, FILE* err)
    : out_(out), err_(err), err_is_terminal_(IsTerminal(err)) {}

void StdConsole::Out(std::u16string_view line) {
    WriteText(out_, line);
    WriteText(out_, u"\n");
}

void StdConsole::WriteErr(std::u16string_view text) {
    WriteText(err_, text);
}

void StdConsole::Err(std::u16string_view line) {
    EndProgress();
    WriteErr(line);
    WriteErr(u"\n");
}

void StdConsole::Progress(std::u16string_view text) {
    if (!err_is_terminal_) {
        if (const auto line = throttle_.Offer(text, platform::TickCountMs())) {
            WriteErr(*line);
            WriteErr(u"\n");
        }
        return;
    }
    // Rewritten in place; blanks cover what a longer earlier text left.
    std::u16string line = u"\r";
    line += text;
    if (text.size() < progress_length_) line.append(progress_length_ - text.size(), u' ');
    WriteErr(line);
    progress_length_ = text.size() == 0 ? 1 : text.size();
}

void StdConsole::EndProgress() {
    if (!err_is_terminal_) {
        if (const auto line = throttle_.Flush(platform::TickCountMs())) {
            WriteErr(*line);
            WriteErr(u"\n");
        }
        return;
    }
    if (progress_length_ != 0) WriteErr(u"\n");
    progress_length_ = 0;
}

void ConsoleStatus::FolderNotRead(std::u16string_view folder) {
    if (++folders_not_read_ > kFoldersNamed) return;
    if (folder.size() > 1) folder.remove_suffix(1);  // its separator, but "/" stays
    console_.EndProgress();
    console_.Err(u"corvella: cannot read the folder '" + std::u16string(folder) + u"'");
}

}  // namespace corvella
