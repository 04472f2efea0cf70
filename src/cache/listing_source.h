// Where a build gets its folder listings: the file system, or a test's own tree.
#pragma once

#include <string>

#include "platform/dir_list.h"

namespace corvella {

// The folders a walk enters: every folder entry but "." and "..", and but those marked not to
// be entered. The builder and the look-ahead listers both follow it, so they walk one order.
inline bool IsEnteredFolder(const platform::DirEntry& entry) {
    return entry.folder && !entry.no_enter && entry.name != u"." && entry.name != u"..";
}
inline bool IsDotEntry(const platform::DirEntry& entry) {
    return entry.folder && (entry.name == u"." || entry.name == u"..");
}

class ListingSource {
  public:
    virtual ~ListingSource() = default;
    // `folder` ends with the separator. False when it cannot be listed.
    virtual bool Open(const std::u16string& folder) = 0;
    virtual bool Next(platform::DirEntry& entry) = 0;
    virtual void Close() = 0;
};

class FileSystemListing final : public ListingSource {
  public:
    bool Open(const std::u16string& folder) override { return lister_.Open(folder); }
    bool Next(platform::DirEntry& entry) override { return lister_.Next(entry); }
    void Close() override { lister_.Close(); }

  private:
    platform::DirLister lister_;
};

}  // namespace corvella
