// How an update keeps the cache file whole.
//
// The file is mapped read-write for the length of one update, and every walk of it goes through
// the bounds-checked block reader, so a damaged file ends a walk instead of a write going astray.
// Offsets, never pointers, are kept across anything that may grow the file, since growing maps it
// again elsewhere.
//
// Order of stores. The folder's new block is built in memory first. Its new subfolders are then
// listed and stored one block at a time, each parent before its children (the order a build
// writes), so a deep new tree needs one buffer and an explicit stack, not one buffer per level.
// Only when all of that succeeded are the old block's surviving folder entries marked removed and
// the new block put in place; a failure before that gives the stored new blocks back and leaves
// the old block untouched.
#include "watch/folder_update.h"

#include <new>
#include <unordered_map>
#include <unordered_set>

#include "cache/cache_check.h"
#include "cache/cache_shared.h"
#include "cache/entry_record.h"
#include "platform/case_fold.h"
#include "platform/drives.h"

namespace corvella {

namespace {

constexpr char16_t kNoRoom[] =
    u"The cache file could not grow, so a change was not applied; it is tried again later.";
// Larger than any record of a name the file systems allow, so a record checked against this
// margin never runs past the buffer.
constexpr uint32_t kRecordMargin = 600;

}  // namespace

// The folder entries of the old block, by name, for carrying their blocks over.
class CFolderUpdater::OldEntries {
  public:
    OldEntries(const CacheView& view, uint32_t block, bool fold) : fold_(fold) {
        BlockReader reader(view, block);
        EntryView e;
        while (reader.Next(e)) {
            if (e.tag != kTagFolder || e.value == NoBlock) continue;
            entries_.emplace(Key(e.Name(view)), Old{e.record_offset, e.value});
        }
    }

    // The block of a surviving folder of this name, once; its record goes into `taken`.
    std::optional<uint32_t> Take(std::u16string_view name, std::vector<uint32_t>& taken) {
        const auto it = entries_.find(Key(std::u16string(name)));
        if (it == entries_.end()) return std::nullopt;
        const Old old = it->second;
        entries_.erase(it);
        taken.push_back(old.record_offset);
        return old.value;
    }

  private:
    struct Old {
        uint32_t record_offset;
        uint32_t value;
    };
    std::u16string Key(std::u16string name) const { return fold_ ? FoldCaseCopy(name) : name; }

    bool fold_;
    std::unordered_multimap<std::u16string, Old> entries_;
};

CFolderUpdater::CFolderUpdater(ErrorSink& errors, UpdateSizes sizes)
    : errors_(errors), sizes_(sizes) {}

CacheView CFolderUpdater::View() const {
    return CacheView{file_.data(), static_cast<uint32_t>(file_.size())};
}

ApplyResult CFolderUpdater::ApplyFolderChange(const std::u16string& cache_path,
                                              const std::u16string& folder) {
    if (folder.empty() || (folder.back() != u'\\' && folder.back() != u'/'))
        return ApplyResult::Dropped;
    separator_ = folder.back();
    if (!skip_folder_) skip_folder_ = platform::BuildSkipFolder();
    if (!skip_folder_->empty() && EqualsFolded(folder, *skip_folder_)) return ApplyResult::Dropped;

    const platform::MapStep opened =
        file_.OpenExisting(cache_path, platform::MappedFile::Access::ReadWrite);
    if (opened != platform::MapStep::Done) {
        if (!platform::FileExists(cache_path)) return ApplyResult::Dropped;
        // Held by a search or a build of another process: the change must not be lost. A file
        // that opens but cannot be mapped (an empty one) is no cache.
        return opened == platform::MapStep::File ? ApplyResult::InUse : ApplyResult::Damaged;
    }
    struct Closer {
        platform::MappedFile& file;
        // Whatever the apply came to, the file may have changed under an older generation.
        ~Closer() {
            file.Close();
            CCacheShared::Instance().BumpGeneration();
        }
    } closer{file_};
    // Cut short or replaced since the last update: no folder of it can be trusted.
    if (file_.size() > kMaxCacheBytes || !CheckCacheHeader(View()).ok) return ApplyResult::Damaged;

    const std::u16string_view path(folder.data(), folder.size() - 1);
    const std::optional<Found> found = FindEntryByPath(path, separator_);
    // Not in the cache, or a file: a path whose last part is a file changes nothing.
    if (!found || !found->folder) return ApplyResult::Dropped;

    out_of_memory_ = false;
    no_room_ = false;
    std::vector<uint32_t> stored;  // blocks of new subfolders, given back on failure
    bool applied = false;
    try {
        applied = Update(folder, *found, stored);
    } catch (const std::bad_alloc&) {
        out_of_memory_ = true;
        errors_.ShowError(kOutOfMemory);
    }
    if (applied) return ApplyResult::Applied;
    if (file_.IsOpen()) {
        for (uint32_t block : stored) FreeBlock(block, /*keep_block=*/false);
    }
    // A file that could not grow is left as it was; the folder's next change brings it back.
    return out_of_memory_ || no_room_ ? ApplyResult::RetryLater : ApplyResult::Dropped;
}

bool CFolderUpdater::Update(const std::u16string& folder, const Found& found,
                            std::vector<uint32_t>& stored) {
    const uint32_t old_block = ValidBlockCapacity(found.value) ? found.value : NoBlock;
    Buffer buffer;
    std::vector<NewFolder> new_folders;
    std::vector<uint32_t> taken;
    {
        std::optional<OldEntries> old;
        if (old_block != NoBlock) old.emplace(View(), old_block, separator_ == u'\\');
        if (!RescanFolder(folder, old ? &*old : nullptr, buffer, new_folders, taken)) return false;
    }
    Buffer work;
    for (const NewFolder& sub : new_folders) {
        uint32_t block = NoBlock;
        const bool complete = StoreNewTree(folder + sub.name + separator_, work, block);
        if (block != NoBlock) {
            stored.push_back(block);
            Store32(buffer.bytes.get() + sub.value_offset, block);
        }
        if (!complete) return false;
    }
    return ReplaceBlock(buffer, old_block, found.value_offset, taken);
}

std::optional<CFolderUpdater::Found> CFolderUpdater::FindEntryByPath(std::u16string_view path,
                                                                     char16_t separator) const {
    const CacheView view = View();
    const bool fold = separator == u'\\';
    const auto same = [&](std::u16string_view a, std::u16string_view b) {
        return fold ? EqualsFolded(a, b) : a == b;
    };

    // The drive whose name is the longest component-wise prefix of the path; "/" is named "/"
    // and is the prefix of every absolute path.
    BlockReader roots(view, kRootBlockOffset);
    EntryView e;
    std::optional<Found> best;
    size_t best_length = 0;
    std::u16string rest_of_best;
    while (roots.NextEntry(e)) {
        if (!e.IsFolder()) continue;
        std::u16string name = e.Name(view);
        if (!name.empty() && name.back() == separator) name.pop_back();
        if (name.empty() && path.empty() && separator != u'/') continue;
        if (path.size() < name.size() || !same(path.substr(0, name.size()), name)) continue;
        if (path.size() > name.size() && path[name.size()] != separator) continue;
        if (best && name.size() <= best_length) continue;
        best = Found{true, e.value, e.value_offset()};
        best_length = name.size();
    }
    if (!best) return std::nullopt;

    std::u16string_view rest = path.substr(best_length);
    Found current = *best;
    while (!rest.empty()) {
        if (rest[0] == separator) rest.remove_prefix(1);
        if (rest.empty()) break;
        const size_t cut = rest.find(separator);
        const std::u16string_view component = rest.substr(0, cut);
        rest = cut == std::u16string_view::npos ? std::u16string_view() : rest.substr(cut);
        const bool last = rest.empty() || rest == std::u16string_view(&separator, 1);
        if (!current.folder || current.value == NoBlock) return std::nullopt;

        BlockReader reader(view, current.value);
        bool matched = false;
        std::u16string name;
        while (reader.NextEntry(e)) {
            if (e.name_units != component.size()) continue;
            name = e.Name(view);
            if (!same(name, component)) continue;
            if (e.IsFolder()) {
                current = Found{true, e.value, e.value_offset()};
                matched = true;
                break;
            }
            if (last) {
                current = Found{false, NoBlock, 0};
                matched = true;
                break;
            }
        }
        if (!matched) return std::nullopt;
    }
    return current;
}

bool CFolderUpdater::AllocateBuffer(Buffer& buffer, size_t size) {
    uint8_t* bytes = nullptr;
    if (!gate_ || gate_(size)) bytes = new (std::nothrow) uint8_t[size];
    if (!bytes) {
        out_of_memory_ = true;
        errors_.ShowError(kOutOfMemory);
        return false;
    }
    if (buffer.length != 0) std::memcpy(bytes, buffer.bytes.get(), buffer.length);
    buffer.bytes.reset(bytes);
    buffer.size = size;
    return true;
}

bool CFolderUpdater::EnsureRecordRoom(Buffer& buffer, uint32_t record_bytes) {
    // Grows by half whenever the margin is reached; a record longer than the margin (which no
    // file system gives) grows it as often as it takes.
    while (buffer.length + kRecordMargin >= buffer.size ||
           buffer.length + record_bytes + 2 > buffer.size) {
        const size_t bigger = static_cast<size_t>(static_cast<double>(buffer.size) * 1.5);
        if (bigger > kMaxCacheBytes) {
            out_of_memory_ = true;
            errors_.ShowError(kOutOfMemory);
            return false;
        }
        if (!AllocateBuffer(buffer, bigger)) return false;
    }
    return true;
}

bool CFolderUpdater::RescanFolder(const std::u16string& folder, OldEntries* old, Buffer& out,
                                  std::vector<NewFolder>& new_folders,
                                  std::vector<uint32_t>& taken) {
    // One buffer serves every block of an update; it starts at the initial size and only grows.
    out.length = 0;
    if (!out.bytes && !AllocateBuffer(out, sizes_.initial_buffer_bytes)) return false;
    out.length = 4;

    bool listed;
    try {
        listed = listing_->Open(folder);
    } catch (const std::bad_alloc&) {
        out_of_memory_ = true;
        errors_.ShowError(kOutOfMemory);
        return false;
    }
    bool ok = true;
    try {
        platform::DirEntry entry;
        while (listed && listing_->Next(entry)) {
            if (platform::IsDotEntry(entry)) continue;
            const uint32_t units = static_cast<uint32_t>(entry.name.size());
            if (!EnsureRecordRoom(out, RecordBytes(units))) {
                ok = false;
                break;
            }
            const EntryInfo info{entry.name,
                                 entry.folder ? kFolderSizeKiB : SizeInKiB(entry.size_bytes),
                                 entry.folder, entry.last_write};
            const uint32_t record = out.length;
            out.length += WriteEntryRecord(out.bytes.get() + record, info);
            if (!platform::IsEnteredFolder(entry)) continue;
            // The folder a build skips keeps no block, as after a build.
            if (!skip_folder_->empty() && folder.size() + units + 1 == skip_folder_->size() &&
                EqualsFolded(folder + std::u16string(entry.name) + separator_, *skip_folder_))
                continue;
            const std::optional<uint32_t> kept = old ? old->Take(entry.name, taken) : std::nullopt;
            if (kept) {
                Store32(out.bytes.get() + record + ValueFieldOffset(units), *kept);
            } else {
                new_folders.push_back(
                    {std::u16string(entry.name), record + ValueFieldOffset(units)});
            }
        }
    } catch (const std::bad_alloc&) {
        out_of_memory_ = true;
        errors_.ShowError(kOutOfMemory);
        ok = false;
    }
    listing_->Close();
    if (!ok) return false;
    Store16(out.bytes.get() + out.length, kTagEnd);
    out.length += 2;
    Store32(out.bytes.get(), out.length);
    return true;
}

bool CFolderUpdater::StoreNewTree(const std::u16string& folder, Buffer& buffer, uint32_t& block) {
    // Each parent is stored before its children; a child's offset is then written into its
    // parent's stored block, found again by offset after any growth.
    struct Frame {
        std::u16string path;
        uint32_t block;
        std::vector<NewFolder> children;
        size_t next = 0;
    };
    std::vector<uint32_t> unused_taken;
    std::vector<NewFolder> children;
    if (!RescanFolder(folder, nullptr, buffer, children, unused_taken) || !NewBlock(buffer, block))
        return false;
    std::vector<Frame> stack;
    stack.push_back(Frame{folder, block, std::move(children)});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.children.size()) {
            stack.pop_back();
            continue;
        }
        const NewFolder child = top.children[top.next++];
        const std::u16string path = top.path + child.name + separator_;
        const uint32_t field = top.block + child.value_offset;
        children.clear();
        uint32_t child_block;
        if (!RescanFolder(path, nullptr, buffer, children, unused_taken) ||
            !NewBlock(buffer, child_block))
            return false;
        Store32(At(field), child_block);
        stack.push_back(Frame{path, child_block, std::move(children)});
    }
    return true;
}

uint32_t CFolderUpdater::ValidBlockCapacity(uint32_t block) const {
    if (block == NoBlock || block < kFirstBlockOffset) return 0;
    BlockReader reader(View(), block);
    return reader.fault() == BlockFault::None ? reader.capacity() : 0;
}

bool CFolderUpdater::ReplaceBlock(const Buffer& buffer, uint32_t old_block, uint32_t value_field,
                                  const std::vector<uint32_t>& taken) {
    const uint32_t size = buffer.length;
    const uint32_t old_capacity = ValidBlockCapacity(old_block);
    // Surviving folders now belong to the new block; whatever is still tagged as a folder in
    // the old block has vanished and is given up with it.
    const auto give_up_old = [&](bool keep_block) {
        if (old_block == NoBlock) return;
        for (uint32_t record : taken) Store16(At(record), kTagRemovedFolder);
        if (old_capacity >= kMinFreeBlockBytes) FreeBlock(old_block, keep_block);
    };

    if (old_block != NoBlock && old_capacity >= size) {
        give_up_old(/*keep_block=*/true);
        std::memcpy(At(old_block + 4), buffer.bytes.get() + 4, size - 4);
        return true;
    }
    const uint32_t free_block = AllocBlock(size);
    if (free_block != NoBlock) {
        std::memcpy(At(free_block + 4), buffer.bytes.get() + 4, size - 4);
        Store32(At(value_field), free_block);
        give_up_old(/*keep_block=*/false);
        return true;
    }
    // Grown first, so a file that cannot grow leaves the old block in place.
    uint32_t at;
    if (!Append(buffer, at)) return false;
    Store32(At(value_field), at);
    give_up_old(/*keep_block=*/false);
    return true;
}

bool CFolderUpdater::NewBlock(const Buffer& buffer, uint32_t& block) {
    block = AllocBlock(buffer.length);
    if (block != NoBlock) {
        std::memcpy(At(block + 4), buffer.bytes.get() + 4, buffer.length - 4);
        return true;
    }
    return Append(buffer, block);
}

bool CFolderUpdater::Append(const Buffer& buffer, uint32_t& at) {
    const uint32_t size = buffer.length;
    const uint32_t end = Load32(At(kDataEndOffset));
    // The file's real length is what the mapping holds, whatever the header says.
    uint64_t file_size = file_.size();
    if (end < kFirstBlockOffset || end > file_size) return false;
    if (file_size - end < uint64_t(size) + sizes_.reserve_bytes) {
        uint64_t grown = file_size + sizes_.grow_step_bytes;
        while (grown - end < size) grown += sizes_.grow_step_bytes;  // a block past one step
        if (grown > kMaxCacheBytes) return false;
        if (file_.Remap(grown) != platform::MapStep::Done) {
            // Reserved before it is mapped, a length the disk cannot hold is refused whole.
            no_room_ = true;
            errors_.ShowFileError(kNoRoom, file_.problem().path, file_.problem().reason);
            return false;
        }
        file_size = grown;
    }
    std::memcpy(At(end), buffer.bytes.get(), size);
    at = end;
    Store32(At(kDataEndOffset), end + size);
    Store32(At(kFileSizeOffset), static_cast<uint32_t>(file_size));
    return true;
}

uint32_t CFolderUpdater::AllocBlock(uint32_t size) {
    // Best fit, the first in list order among equals. A link that leads outside the file or
    // back into the list ends the walk: the rest of the list is simply not used.
    const uint64_t file_size = file_.size();
    uint32_t link = kFreeListHeadOffset;  // the field that points to the current block
    uint32_t best = NoBlock, best_link = 0, best_capacity = 0;
    uint64_t steps = file_size / kMinFreeBlockBytes + 1;
    for (uint32_t block = Load32(At(link)); block != NoBlock && steps-- > 0;
         block = Load32(At(link))) {
        if (block < kFirstBlockOffset || uint64_t(block) + 8 > file_size) break;
        const uint32_t capacity = Load32(At(block));
        if (uint64_t(block) + capacity > file_size) break;
        if (capacity >= size && (best == NoBlock || capacity < best_capacity)) {
            best = block;
            best_link = link;
            best_capacity = capacity;
        }
        link = block + 4;
    }
    if (best != NoBlock) Store32(At(best_link), Load32(At(best + 4)));
    return best;
}

void CFolderUpdater::FreeBlock(uint32_t block, bool keep_block) {
    // Children before their parent, as a recursive walk would give them up; an explicit stack,
    // so a deep tree does not exhaust the thread's stack, and a set of blocks seen, so a damaged
    // file with a cycle ends.
    const CacheView view = View();
    if (ValidBlockCapacity(block) < kMinFreeBlockBytes) return;
    std::vector<BlockReader> stack;
    std::unordered_set<uint32_t> visited{block};
    stack.emplace_back(view, block);
    // A damaged block ends the freeing of that block only; its parent's walk goes on.
    const auto report = [&](uint32_t faulty) {
        errors_.ShowError(faulty == block && keep_block ? u"Error in FreeSubBlock"
                                                        : u"Error in FreeBlock");
    };
    while (!stack.empty()) {
        BlockReader& reader = stack.back();
        EntryView e;
        if (reader.Next(e)) {
            if (e.tag != kTagFolder || e.value == NoBlock) continue;
            BlockReader child(view, e.value);
            if (e.value < kFirstBlockOffset || child.fault() != BlockFault::None) {
                report(e.value);
                continue;
            }
            if (child.capacity() < kMinFreeBlockBytes || !visited.insert(e.value).second) continue;
            stack.push_back(child);
            continue;
        }
        const uint32_t done = reader.block_offset();
        const bool damaged = reader.fault() != BlockFault::None;
        stack.pop_back();
        if (damaged) {
            report(done);
            continue;
        }
        if (done == block && keep_block) continue;
        Store32(At(done + 4), Load32(At(kFreeListHeadOffset)));
        Store32(At(kFreeListHeadOffset), done);
    }
}

}  // namespace corvella
