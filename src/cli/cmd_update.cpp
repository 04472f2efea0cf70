// corvella update: rescans named folders into the cache, one at a time, as a watcher's
// processor applies the folders it has queued.
#include <chrono>
#include <thread>

#include "cli/cli.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "watch/drive_watcher.h"

namespace corvella {

namespace {

// An existing folder in its canonical spelling; a folder that is gone as typed, made absolute,
// since applying a vanished folder is how its entries are emptied.
std::u16string QueuedForm(const std::u16string& typed) {
    if (const std::optional<std::u16string> folder = platform::FolderRoot(typed)) return *folder;
    std::u16string path = platform::AbsolutePath(typed);
    if (path.empty() || path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
    return path;
}

}  // namespace

int RunUpdate(const CommandLine& command, Console& console) {
    if (command.positional.empty()) {
        console.Err(u"corvella: update needs at least one folder.");
        return kExitError;
    }
    if (!HaveCacheFile(command.cache_path, console)) return kExitError;
    {
        // The updater takes every open failure for a holder and waits it out, as a watcher must.
        // A cache this user may not write is no holder: say so with the reason, at once.
        platform::MappedFile probe;
        if (probe.OpenExisting(command.cache_path, platform::MappedFile::Access::ReadWrite) ==
                platform::MapStep::File &&
            !probe.problem().held) {
            console.Err(u"corvella: cannot open the cache file " + command.cache_path +
                        u" to update it.");
            console.Err(FileReasonLine(probe.problem().path, probe.problem().reason));
            return kExitError;
        }
    }
    ConsoleErrors errors(console);
    WatcherOptions options;
    options.errors = &errors;
    options.cache_path = command.cache_path;
    CDriveWatcher watcher(options);

    int status = kExitOk;
    for (const std::u16string& typed : command.positional) {
        const std::u16string folder = QueuedForm(typed);
        watcher.Init(folder);
        ApplyResult result = watcher.ApplyFolderChange(folder);
        // A search of another process holds the file for a moment; a few tries outlast it.
        for (int tries = 0; result == ApplyResult::InUse && tries < 50; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            result = watcher.ApplyFolderChange(folder);
        }
        switch (result) {
            case ApplyResult::Applied:
                console.Err(u"corvella: updated " + folder);
                break;
            case ApplyResult::Dropped:
                console.Err(u"corvella: " + folder +
                            u" is not a folder in the cache; nothing was changed.");
                if (status == kExitOk) status = kExitNothing;
                break;
            case ApplyResult::InUse:
                console.Err(u"corvella: the cache file is in use by another program; " + folder +
                            u" was not updated.");
                status = kExitError;
                break;
            case ApplyResult::RetryLater:
                status = kExitError;  // the reason was shown
                break;
            case ApplyResult::Damaged:
                console.Err(u"corvella: the cache file " + command.cache_path +
                            u" is damaged; rebuild it with 'corvella index'.");
                return kExitError;
        }
    }
    return status;
}

}  // namespace corvella
