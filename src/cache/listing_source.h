// Where a build gets its folder listings: the file system, or a test's own tree.
#pragma once

#include <string>

#include "platform/dir_list.h"

namespace corvella {

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
