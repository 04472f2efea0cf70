// The working file of a build and the copies that publish it.
#include "cache/cacher.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "cache/cache_format.h"
#include "cache/cache_replace.h"
#include "cache/cache_shared.h"
#include "platform/text.h"

namespace corvella {

namespace {

// The working file's size when the disk has no room for the generous first size, and the
// unit it then grows by.
constexpr uint64_t kLeastWorkingBytes = 1048576;

std::u16string FailureText(const char* operation, int step) {
    std::string text = step == 0 ? "Can not create or open dat file! " : "Runtime error! ";
    text += "File may be used by another program! In CCacher::";
    text += operation;
    text += " - 00";
    text += char('0' + step);
    return Widen(text);
}

}  // namespace

CCacher::CCacher(ErrorSink& errors, std::u16string cache_path, WorkingFileSizes sizes)
    : errors_(errors),
      sizes_(sizes),
      // Listers spend their time in the kernel and wait there: for the disk when the tree is
      // not in memory, and for the processor when other work runs. Twice the cores keeps every
      // core listing; on a warm tree the extra ones cost a few context switches, no more CPU
      // than measured noise, and on a busy two-core machine they made builds a third faster than
      // two listers did.
      listing_threads_(std::clamp(2 * std::thread::hardware_concurrency(), 4u, 8u)),
      cache_path_(std::move(cache_path)),
      map_size_(sizes.initial_bytes) {}

void CCacher::Fail(const char* operation, int step, const platform::FileProblem& problem) {
    errors_.ShowFileError(FailureText(operation, step), problem.path, problem.reason);
}

bool CCacher::InitFile() {
    stopped_ = false;
    published_ = false;
    // Something that is no file where the cache goes could never be replaced: refused before
    // a walk that would be for nothing.
    const platform::PathKind kind = platform::KindOf(cache_path_);
    if (kind == platform::PathKind::Folder || kind == platform::PathKind::Other) {
        Fail("InitFile", 0, {cache_path_, platform::kNotARegularFile});
        stopped_ = true;
        return false;
    }
    const std::u16string path = cache_path_ + u".tmp";
    platform::MapStep step = work_.Create(path, map_size_, /*delete_on_close=*/true);
    // A disk without room for the generous size may still hold a small cache: the walk grows
    // the file as it needs.
    if (step == platform::MapStep::Mapping && map_size_ > kLeastWorkingBytes) {
        step = work_.Create(path, kLeastWorkingBytes, /*delete_on_close=*/true);
        if (step == platform::MapStep::Done) map_size_ = kLeastWorkingBytes;
    }
    if (step == platform::MapStep::Done) return true;
    Fail("InitFile", MapStepNumber(step), work_.problem());
    stopped_ = true;
    return false;
}

bool CCacher::CheckMapFileSize() {
    if (!work_.IsOpen()) return false;
    if (write_offset_ + sizes_.headroom_bytes <= map_size_) return true;
    if (map_size_ >= sizes_.limit_bytes) return true;  // no more to give; EnsureRoom decides
    // Headroom is a convenience: a disk that cannot give it leaves EnsureRoom to grow the file
    // record by record.
    return Grow(map_size_ + sizes_.step_bytes, map_size_);
}

bool CCacher::Grow(uint64_t wanted, uint64_t needed) {
    wanted = std::min(wanted, sizes_.limit_bytes);
    needed = std::min(needed, sizes_.limit_bytes);
    platform::MapStep step = work_.Remap(wanted);
    if (step == platform::MapStep::Mapping && needed < wanted) {
        if (needed <= map_size_) return true;  // the file stays as it was, and is enough
        step = work_.Remap(needed);
        wanted = needed;
    }
    if (step == platform::MapStep::Done) {
        map_size_ = wanted;
        return true;
    }
    Fail("CheckMapFileSize", std::max(1, MapStepNumber(step)), work_.problem());
    work_.Close();
    stopped_ = true;
    return false;
}

bool CCacher::EnsureRoom(uint64_t bytes) {
    if (!work_.IsOpen()) return false;
    const uint64_t need = write_offset_ + bytes;
    if (need <= map_size_) return true;
    if (need > sizes_.limit_bytes) {
        errors_.ShowError(
            u"The search cache would grow past 4 GiB, the most its file format can address. "
            u"The build was stopped; the cache file keeps what the last completed copy wrote.");
        work_.Close();
        stopped_ = true;
        return false;
    }
    uint64_t size = map_size_;
    while (size < need) size += sizes_.step_bytes;
    return Grow(size, (need + kLeastWorkingBytes - 1) / kLeastWorkingBytes * kLeastWorkingBytes);
}

bool CCacher::CopyToCacheFile(const char* operation) {
    if (!work_.IsOpen()) return false;
    const uint32_t used = static_cast<uint32_t>(write_offset_);
    Store32(At(kDataEndOffset), used);
    Store32(At(kFileSizeOffset), used);

    platform::FileProblem problem;
    const platform::MapStep step = ReplaceCacheFile(cache_path_, work_.data(), used, problem);
    if (step != platform::MapStep::Done) {
        Fail(operation, MapStepNumber(step), problem);
        return false;
    }
    published_ = true;
    return true;
}

bool CCacher::SaveCacheFileTemp() {
    return CopyToCacheFile("SaveCacheFileTemp");
}

bool CCacher::ReleaseFile() {
    // After the last drive's copy the final one would write the same bytes again.
    const bool ok = published_ || CopyToCacheFile("ReleaseFile");
    work_.Close();  // removes the working file
    return ok;
}

}  // namespace corvella
