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
      // Two listers keep both cores of a small machine busy with the file system while this
      // thread writes; more help on larger machines until the disk is the limit.
      listing_threads_(std::clamp(std::thread::hardware_concurrency(), 2u, 4u)),
      cache_path_(std::move(cache_path)),
      map_size_(sizes.initial_bytes) {}

void CCacher::Fail(const char* operation, int step) {
    errors_.ShowError(FailureText(operation, step));
}

bool CCacher::InitFile() {
    stopped_ = false;
    published_ = false;
    switch (work_.Create(cache_path_ + u".tmp", map_size_, /*delete_on_close=*/true)) {
        case platform::MapStep::Done:
            return true;
        case platform::MapStep::File:
            Fail("InitFile", 0);
            break;
        case platform::MapStep::Mapping:
            Fail("InitFile", 1);
            break;
        case platform::MapStep::View:
            Fail("InitFile", 2);
            break;
    }
    stopped_ = true;
    return false;
}

bool CCacher::CheckMapFileSize() {
    if (!work_.IsOpen()) return false;
    if (write_offset_ <= map_size_ - sizes_.headroom_bytes) return true;
    if (map_size_ >= sizes_.limit_bytes) return true;  // no more to give; EnsureRoom decides
    return Grow(map_size_ + sizes_.step_bytes);
}

bool CCacher::Grow(uint64_t new_size) {
    if (new_size > sizes_.limit_bytes) new_size = sizes_.limit_bytes;
    switch (work_.Remap(new_size)) {
        case platform::MapStep::Done:
            map_size_ = new_size;
            return true;
        case platform::MapStep::View:
            Fail("CheckMapFileSize", 2);
            break;
        default:
            Fail("CheckMapFileSize", 1);
            break;
    }
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
    return Grow(size);
}

bool CCacher::CopyToCacheFile(const char* operation) {
    if (!work_.IsOpen()) return false;
    const uint32_t used = static_cast<uint32_t>(write_offset_);
    Store32(At(kDataEndOffset), used);
    Store32(At(kFileSizeOffset), used);

    const platform::MapStep step = ReplaceCacheFile(cache_path_, work_.data(), used);
    if (step != platform::MapStep::Done) {
        Fail(operation, MapStepNumber(step));
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
