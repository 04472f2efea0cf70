#include "cache/defragmenter.h"

#include <algorithm>
#include <new>
#include <string>

#include "cache/cache_format.h"
#include "cache/cache_replace.h"
#include "cache/cache_shared.h"  // StatePathFor
#include "cache/entry_record.h"
#include "cache/state_file.h"

namespace corvella {

namespace {

constexpr uint64_t kMiB = 1048576;

// The fixed texts, by the step that failed: file, mapping, view.
constexpr const char16_t* kOpenCacheFailed[] = {
    u"Can not open dat file! File may be used by another program or does not exists! In "
    u"CQueryer::InitTraverse - 000",
    u"Runtime error! File may be used by another program! In CQueryer::InitTraverse - 001",
    u"Runtime error! File may be used by another program! In CQueryer::InitTraverse - 002",
};
constexpr const char16_t* kWorkingFileFailed[] = {
    u"Can not create or open dat file! File may be used by another program! In CCacher::InitFile "
    u"- 000",
    u"Runtime error! File may be used by another program! In CCacher::InitFile - 001",
    u"Runtime error! File may be used by another program! In CCacher::InitFile - 002",
};
constexpr const char16_t* kNewCacheFailed[] = {
    u"Can not create or open dat file! File may be used by another program! In "
    u"CCacher::ReleaseFile - 000",
    u"Runtime error! File may be used by another program! In CCacher::ReleaseFile - 001",
    u"Runtime error! File may be used by another program! In CCacher::ReleaseFile - 002",
};
constexpr char16_t kTooLarge[] =
    u"The cache file was not defragmented: its copy would grow past 4 GiB, the most its file "
    u"format can address. The cache file is unchanged.";
constexpr char16_t kAllocationFailure[] =
    u"Memory Allocation Failure! In CCacheDefragmenter::CopyBlock. The cache file is unchanged.";

}  // namespace

int CCacheDefragmenter::Defragment() {
    replaced_ = false;
    faults_ = 0;
    StateFile state(StatePathFor(cache_path_));
    state.SetUpdateCacheExit(false);
    if (!OpenForDefrag()) {
        // Nothing was written: the cache file is as complete as it was.
        state.SetUpdateCacheExit(true);
        return -1;
    }
    bool copied = false;
    try {
        copied = CopyDrives();
    } catch (const std::bad_alloc&) {
        errors_.ShowError(kAllocationFailure);
    }
    copied_ = {};
    if (copied && FinishDefrag()) {
        replaced_ = true;
        state.SetCacheFileSize(write_offset_ / kMiB);
    }
    CloseFiles();
    state.SetUpdateCacheExit(true);
    return 0;
}

bool CCacheDefragmenter::OpenForDefrag() {
    CloseFiles();
    platform::MapStep step =
        source_.OpenExisting(cache_path_, platform::MappedFile::Access::ReadExclusive);
    if (step == platform::MapStep::Done && source_.size() > kMaxCacheBytes) {
        source_.Close();  // no cache file is this large; it cannot be addressed
        step = platform::MapStep::Mapping;
    }
    if (step != platform::MapStep::Done) {
        ShowFailure(kOpenCacheFailed[MapStepNumber(step)], source_.problem());
        return false;
    }
    source_bytes_ = source_.size();
    view_ = CacheView{source_.data(), static_cast<uint32_t>(source_.size())};

    const uint64_t working_bytes = (source_bytes_ + kMiB) & ~(kMiB - 1);
    step = work_.Create(cache_path_ + u".frag", working_bytes, /*delete_on_close=*/true);
    if (step != platform::MapStep::Done) {
        ShowFailure(kWorkingFileFailed[MapStepNumber(step)], work_.problem());
        CloseFiles();
        return false;
    }
    return true;
}

bool CCacheDefragmenter::CopyDrives() {
    write_offset_ = kFirstBlockOffset;
    Store32(At(kMarkerOffset), kMarker);
    Store32(At(kFreeListHeadOffset), NoBlock);
    // Every drive entry is taken as a folder; its time means nothing, so it is 0 as in a build.
    uint32_t root_pos = kRootEntriesOffset;
    BlockReader root(view_, kRootBlockOffset);
    EntryView drive;
    while (root.NextEntry(drive)) {
        const uint32_t units = drive.name_units;
        // The drive list must end below the first folder block; a build never lets it grow
        // further.
        if (root_pos + RecordBytes(units) + 2 > kFirstBlockOffset) {
            ++faults_;
            break;
        }
        name_ = drive.Name(view_);
        const uint32_t record = root_pos;
        root_pos += WriteEntryRecord(At(record), EntryInfo{name_, kFolderSizeKiB, true, 0});
        if (!CopyBlock(drive.value, record + ValueFieldOffset(units))) return false;
    }
    if (root.fault() != BlockFault::None) ++faults_;
    Store16(At(root_pos), kTagEnd);
    Store32(At(kRootBlockOffset), root_pos + 2 - kRootBlockOffset);
    return true;
}

bool CCacheDefragmenter::CopyBlock(uint32_t source_block, uint32_t value_field) {
    // Subfolders go on the stack last first, so the first one's whole subtree is copied before
    // the second's: the pre-order a build writes.
    std::vector<Pending> stack{{source_block, value_field}};
    std::vector<Pending> subfolders;
    while (!stack.empty()) {
        const Pending folder = stack.back();
        stack.pop_back();
        subfolders.clear();
        if (!CopyOneBlock(folder, subfolders)) return false;
        stack.insert(stack.end(), subfolders.rbegin(), subfolders.rend());
    }
    return true;
}

bool CCacheDefragmenter::CopyOneBlock(const Pending& folder, std::vector<Pending>& subfolders) {
    if (!EnsureRoom(kEmptyBlockBytes)) return false;
    const uint32_t block = write_offset_;
    Store32(At(folder.value_field), block);
    write_offset_ += 4;

    // A folder without a block (one that was not entered) gets an empty one.
    const uint32_t source = folder.source_block;
    if (source != NoBlock && (source < kFirstBlockOffset || !copied_.insert(source).second)) {
        ++faults_;  // inside the header, or reached before: a cycle or a shared block
    } else if (source != NoBlock) {
        BlockReader reader(view_, source);
        EntryView e;
        while (reader.NextEntry(e)) {  // removed-folder entries stay behind
            const uint32_t units = e.name_units;
            if (!EnsureRoom(RecordBytes(units) + 2)) return false;
            name_.resize(units);
            for (uint32_t i = 0; i < units; ++i) name_[i] = e.NameUnit(view_, i);
            const EntryInfo info{name_, e.IsFolder() ? kFolderSizeKiB : e.value, e.IsFolder(),
                                 e.last_write};
            const uint32_t record = write_offset_;
            write_offset_ += WriteEntryRecord(At(record), info);
            if (e.IsFolder()) subfolders.push_back({e.value, record + ValueFieldOffset(units)});
        }
        if (reader.fault() != BlockFault::None) ++faults_;
    }

    Store16(At(write_offset_), kTagEnd);
    write_offset_ += 2;
    Store32(At(block), write_offset_ - block);
    return true;
}

bool CCacheDefragmenter::EnsureRoom(uint32_t bytes) {
    const uint64_t need = uint64_t(write_offset_) + bytes;
    if (need <= work_.size()) return true;
    if (need > kMaxCacheBytes) {
        errors_.ShowError(kTooLarge);
        return false;
    }
    const uint64_t size = std::min<uint64_t>((need + kMiB) & ~(kMiB - 1), kMaxCacheBytes);
    const platform::MapStep step = work_.Remap(size);
    if (step == platform::MapStep::Done) return true;
    ShowFailure(kWorkingFileFailed[std::max(1, MapStepNumber(step))], work_.problem());
    return false;
}

bool CCacheDefragmenter::FinishDefrag() {
    if (!work_.IsOpen()) return false;
    // The replacement holds the cache file itself, so this process's own hold must go first.
    source_.Close();
    view_ = {};
    Store32(At(kDataEndOffset), write_offset_);
    Store32(At(kFileSizeOffset), write_offset_);
    platform::FileProblem problem;
    const platform::MapStep step =
        ReplaceCacheFile(cache_path_, work_.data(), write_offset_, problem);
    work_.Close();  // removes the working file
    if (step != platform::MapStep::Done) {
        ShowFailure(kNewCacheFailed[MapStepNumber(step)], problem);
        return false;
    }
    return true;
}

void CCacheDefragmenter::ShowFailure(const char16_t* message,
                                     const platform::FileProblem& problem) {
    errors_.ShowFileError(message, problem.path, problem.reason);
}

void CCacheDefragmenter::CloseFiles() {
    work_.Close();
    source_.Close();
    view_ = {};
}

}  // namespace corvella
