// The per-user data folder at start-up: made from the settings shipped beside the program when
// it is missing, so that every user of a machine, not only the one who installed, can start.
#pragma once

#include <string>

namespace corvella {

enum class DataFolderOutcome {
    Present,  // a folder was there already; nothing in it was touched
    Created,  // made now, holding a copy of the shipped settings when there are any
    Failed,   // could not be made; nothing was left behind
};

// Makes `folder` when it is missing, with a copy of `shipped_settings` (when that file exists)
// as its settings.ini. The folder appears whole or not at all: it is put together under a name
// of this process's own beside it and renamed into place, so a start cut off half way, or one
// racing another start, never leaves a folder without its settings. Something other than a
// folder at `folder` is a failure and stays as it is.
DataFolderOutcome ProvideDataFolder(const std::u16string& folder,
                                    const std::u16string& shipped_settings);

}  // namespace corvella
