#include "app/data_folder.h"

#include "platform/drives.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace corvella {

namespace {

// Takes apart what a failed attempt made; the one file it can hold, then the folder.
void RemoveStaging(const std::u16string& staging, const std::u16string& settings) {
    platform::RemoveFile(settings);
    platform::RemoveEmptyFolder(staging);
}

}  // namespace

DataFolderOutcome ProvideDataFolder(const std::u16string& folder,
                                    const std::u16string& shipped_settings) {
    switch (platform::KindOf(folder)) {
        case platform::PathKind::Folder:
            return DataFolderOutcome::Present;
        case platform::PathKind::Missing:
            break;
        default:
            return DataFolderOutcome::Failed;
    }
    const std::u16string staging = folder + u".new-" + Widen(std::to_string(platform::ProcessId()));
    const std::u16string settings = staging + platform::kPathSeparator + u"settings.ini";
    if (!platform::MakeFolder(staging)) return DataFolderOutcome::Failed;
    // A program copied without its settings still starts, with every setting at its default.
    if (platform::FileExists(shipped_settings) &&
        !platform::CopyWholeFile(shipped_settings, settings)) {
        RemoveStaging(staging, settings);
        return DataFolderOutcome::Failed;
    }
    if (platform::RenameFolder(staging, folder)) return DataFolderOutcome::Created;
    RemoveStaging(staging, settings);
    // Another start may have put its own in place first.
    return platform::IsFolder(folder) ? DataFolderOutcome::Present : DataFolderOutcome::Failed;
}

}  // namespace corvella
