// The walk that fills the working file: BuildCache and TraverseDirectory.
#include <cstdio>
#include <mutex>
#include <new>
#include <optional>

#include "cache/cache_format.h"
#include "cache/cache_shared.h"
#include "cache/cacher.h"
#include "cache/entry_record.h"
#include "cache/prefetch_listing.h"
#include "cache/state_file.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/text.h"
#include "platform/ticks.h"

namespace corvella {

namespace {

constexpr char16_t kAllocationFailure[] =
    u"Memory Allocation Failure! In CCacher::TraverseDirectory";

// "C:\" gives "C:", "/srv/data/" gives "/srv/data"; "/" stays "/".
std::u16string DriveName(const std::u16string& root) {
    if (root.size() <= 1) return root;
    return root.substr(0, root.size() - 1);
}

std::u16string ProgressText(const char* head, uint32_t items, uint32_t seconds, uint64_t kib) {
    char text[160];
    std::snprintf(text, sizeof text, "%s %u items cached,  %lus (%.1fGB)", head, items,
                  static_cast<unsigned long>(seconds), static_cast<double>(kib) / 1048576.0);
    return Widen(text);
}

}  // namespace

void CCacher::ShowProgress(char16_t drive) {
    if (!status_) return;
    std::u16string text = u"[Caching Drive ";
    text += drive;
    text += u" ]";
    text += ProgressText("", item_count_,
                         (platform::TickCountMs() - static_cast<uint32_t>(start_ticks_)) / 1000,
                         total_kib_);
    status_->SetStatusText(text);
}

bool CCacher::BuildCache(const std::vector<std::u16string>& roots) {
    CCacheShared& shared = CCacheShared::Instance();
    write_offset_ = 0;
    if (!InitFile()) return false;

    skip_folder_ = skip_override_ ? *skip_override_ : platform::BuildSkipFolder();
    skip_folder_length_ = skip_folder_.size();

    write_offset_ = kFirstBlockOffset;
    item_count_ = 0;
    unread_folders_ = 0;
    total_kib_ = 0;
    elapsed_ms_ = 0;
    start_ticks_ = platform::TickCountMs();
    Store32(At(kMarkerOffset), kMarker);
    Store32(At(kFreeListHeadOffset), NoBlock);
    // An empty drive list, well-formed from the first copy on.
    Store32(At(kRootBlockOffset), kEmptyBlockBytes);
    Store16(At(kRootEntriesOffset), kTagEnd);

    // The very first build leaves a valid, empty cache at once.
    if (!platform::FileExists(cache_path_)) {
        std::lock_guard lock(shared.CacheFileLock());
        SaveCacheFileTemp();
    }

    // Listings made ahead on worker threads, for the file system; a test's own tree is read as is.
    std::optional<PrefetchListing> prefetch;
    active_listing_ = listing_;
    if (listing_ == &file_system_ && listing_threads_ > 1) {
        prefetch.emplace(listing_threads_);
        active_listing_ = &*prefetch;
    }

    uint32_t root_pos = kRootEntriesOffset;
    for (const std::u16string& root : roots) {
        if (root.empty()) continue;
        ++item_count_;
        const std::u16string name = DriveName(root);
        // The drive entries must leave room for the end tag below the first folder block.
        if (root_pos + RecordBytes(static_cast<uint32_t>(name.size())) + 2 > kFirstBlockOffset) {
            errors_.ShowError(u"Too many drives to index: their names do not fit the drive list.");
            work_.Close();
            return false;
        }
        published_ = false;
        EntryInfo drive{name, kFolderSizeKiB, true, 0};
        const uint32_t value_offset =
            root_pos + ValueFieldOffset(static_cast<uint32_t>(name.size()));
        root_pos += WriteEntryRecord(At(root_pos), drive);

        TraverseDirectory(root, value_offset);
        if (stopped_) return false;  // the working file is gone; what was published stays

        elapsed_ms_ = platform::TickCountMs() - static_cast<uint32_t>(start_ticks_);
        // A readable drive list in every intermediate copy, not only the final one.
        Store16(At(root_pos), kTagEnd);
        Store32(At(kRootBlockOffset), root_pos + 2 - kRootBlockOffset);
        std::lock_guard lock(shared.CacheFileLock());
        SaveCacheFileTemp();
    }

    // The same end tag and capacity as the last drive's copy holds, if there was one.
    Store16(At(root_pos), kTagEnd);
    Store32(At(kRootBlockOffset), root_pos + 2 - kRootBlockOffset);
    bool released;
    {
        std::lock_guard lock(shared.CacheFileLock());
        released = ReleaseFile();
    }
    if (!released) return false;

    if (status_) {
        status_->SetStatusText(u"[Caching is Finished]" +
                               ProgressText("", item_count_, elapsed_ms_ / 1000, total_kib_));
    }
    StateFile(StatePathFor(cache_path_)).SetCacheFileSize(write_offset_ / 1048576);
    return true;
}

int CCacher::TraverseDirectory(const std::u16string& path, uint32_t value_offset) {
    std::vector<Frame> stack;
    int result = WriteFolderBlock(path, value_offset, stack);
    while (!stack.empty() && !stopped_) {
        Frame& top = stack.back();
        if (top.next == top.pending.size()) {
            stack.pop_back();
            continue;
        }
        PendingFolder& sub = top.pending[top.next++];
        std::u16string child;
        try {
            child.reserve(top.path.size() + sub.name.size() + 1);
            child = top.path;
            child += sub.name;
            child += top.path.back();  // the separator the root came with
        } catch (const std::bad_alloc&) {
            errors_.ShowError(kAllocationFailure);  // its entry keeps NoBlock
            continue;
        }
        const uint32_t sub_value = sub.value_offset;
        std::u16string().swap(sub.name);  // the name copy is done with
        // A failure below does not stop the siblings, as in the recursive form.
        WriteFolderBlock(child, sub_value, stack);
    }
    return stopped_ ? -1 : result;
}

int CCacher::WriteFolderBlock(const std::u16string& path, uint32_t value_offset,
                              std::vector<Frame>& stack) {
    if (stop_requested_) {
        stopped_ = true;
        return -1;
    }
    if (!CheckMapFileSize()) return -1;

    if (skip_folder_length_ != 0 && path.size() == skip_folder_length_ &&
        EqualsAsciiNoCase(path, skip_folder_)) {
        skip_folder_length_ = 0;  // only one folder has this path
        Store32(At(value_offset), NoBlock);
        return 0;
    }

    bool listed = false;
    try {
        listed = active_listing_->Open(path);
    } catch (const std::bad_alloc&) {
        errors_.ShowError(kAllocationFailure);
        return -1;  // the folder's entry keeps NoBlock
    }
    if (!listed) {
        ++unread_folders_;
        if (status_) status_->FolderNotRead(path);
    }

    if (!EnsureRoom(kEmptyBlockBytes)) return -1;
    const uint32_t block = static_cast<uint32_t>(write_offset_);
    Store32(At(value_offset), block);
    write_offset_ += 4;

    std::vector<PendingFolder> pending;
    bool abandoned = false;
    try {
        platform::DirEntry entry;
        while (listed && active_listing_->Next(entry)) {
            if (item_count_ % 1000 == 0) ShowProgress(path[0]);
            if (platform::IsDotEntry(entry)) continue;
            const uint32_t units = static_cast<uint32_t>(entry.name.size());
            // Room for this record and the end tag: a folder may be larger than the headroom.
            if (!EnsureRoom(RecordBytes(units) + 2)) {
                active_listing_->Close();
                return -1;
            }
            const EntryInfo info{entry.name,
                                 entry.folder ? kFolderSizeKiB : SizeInKiB(entry.size_bytes),
                                 entry.folder, entry.last_write};
            const uint32_t record = static_cast<uint32_t>(write_offset_);
            write_offset_ += WriteEntryRecord(At(record), info);
            if (!entry.folder) {
                total_kib_ += info.size_kib;
            } else if (platform::IsEnteredFolder(entry)) {
                pending.push_back({std::u16string(entry.name), record + ValueFieldOffset(units)});
            }
            ++item_count_;
        }
    } catch (const std::bad_alloc&) {
        // The block ends here, well-formed; subfolders not walked keep NoBlock.
        errors_.ShowError(kAllocationFailure);
        abandoned = true;
    }
    active_listing_->Close();

    Store16(At(write_offset_), kTagEnd);
    write_offset_ += 2;
    Store32(At(block), static_cast<uint32_t>(write_offset_ - block));

    if (abandoned) return -1;
    if (!pending.empty()) {
        try {
            stack.push_back(Frame{path, std::move(pending), 0});
        } catch (const std::bad_alloc&) {
            errors_.ShowError(kAllocationFailure);
            return -1;
        }
    }
    return 0;
}

}  // namespace corvella
