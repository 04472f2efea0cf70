// A file changed a few bytes at a time through a shared view is written back by the folio: the
// kernel marks the whole folio that holds a changed byte dirty, and a file system that keeps
// large folios (ext4 and xfs on current kernels, for any file read in cold) then writes up to
// 2 MB to the disk for a four-byte change. A keeper applying one folder's change touches a
// handful of places in a cache of many megabytes, so it wrote a hundred times what it changed.
//
// An in-place view is therefore mapped private: the pages it writes become the process's own
// copies and the file's folios stay clean. Before the view is dropped or grown, the kernel's page
// map says which pages those are (present and no longer the file's own page, or swapped out,
// which only a private copy can be), and each run of them is written to the file with pwrite,
// which marks only the blocks it covers for writing. Readers cannot see the file in between: an
// in-place view holds the file alone.
#include "platform/written_pages_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <memory>
#include <new>

namespace corvella::platform {

namespace {

constexpr int kPresentBit = 63;
constexpr int kSwappedBit = 62;
constexpr int kFilePageBit = 61;

bool PageWasWritten(uint64_t entry) {
    const bool present = (entry >> kPresentBit) & 1;
    const bool swapped = (entry >> kSwappedBit) & 1;
    const bool file_page = (entry >> kFilePageBit) & 1;
    return swapped || (present && !file_page);
}

// Repeats `step(done, offset)` (a pread or a pwrite of what is left) until `length` bytes
// starting at `offset` are through; an interrupted call is tried again, one that moves nothing
// is an I/O error.
template <typename Step>
bool Whole(uint64_t length, uint64_t offset, Step step) {
    for (uint64_t done = 0; done < length;) {
        const ssize_t moved = step(done, offset + done);
        if (moved < 0 && errno == EINTR) continue;
        if (moved <= 0) {
            if (moved == 0) errno = EIO;
            return false;
        }
        done += uint64_t(moved);
    }
    return true;
}

bool ReadAll(int fd, uint64_t* entries, uint64_t count, uint64_t offset) {
    auto* bytes = reinterpret_cast<uint8_t*>(entries);
    const uint64_t length = count * sizeof entries[0];
    return Whole(length, offset, [&](uint64_t done, uint64_t at) {
        return ::pread(fd, bytes + done, length - done, static_cast<off_t>(at));
    });
}

bool WriteAll(int fd, const uint8_t* bytes, uint64_t length, uint64_t offset) {
    return Whole(length, offset, [&](uint64_t done, uint64_t at) {
        return ::pwrite(fd, bytes + done, length - done, static_cast<off_t>(at));
    });
}

}  // namespace

Descriptor OpenPageMap() {
    return Descriptor(::open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC));
}

bool WriteWrittenPages(int page_map, int fd, const uint8_t* data, uint64_t size) {
    const uint64_t page = uint64_t(::sysconf(_SC_PAGESIZE));
    const uint64_t first_page = reinterpret_cast<uintptr_t>(data) / page;
    const uint64_t pages = (size + page - 1) / page;
    // A run of written pages not yet put in the file: [run_start, run_end).
    uint64_t run_start = 0, run_end = 0;
    const auto put_run = [&] {
        const uint64_t from = run_start * page, to = std::min(run_end * page, size);
        return WriteAll(fd, data + from, to - from, from);
    };
    // Read in large steps: each read of the page map is a system call, and 512 entries at a
    // time doubled an update's fixed cost on a large cache. 16,000 entries stay below the size
    // at which the allocator maps memory of its own for them. This runs when a view closes,
    // where nothing may throw: without the memory it reads in small steps.
    uint64_t small[512];
    const uint64_t large_step = std::min<uint64_t>(pages, 16000);
    const std::unique_ptr<uint64_t[]> large(new (std::nothrow) uint64_t[large_step]);
    uint64_t* const entries = large ? large.get() : small;
    const uint64_t step = large ? large_step : std::size(small);
    for (uint64_t at = 0; at < pages;) {
        const uint64_t count = std::min(step, pages - at);
        if (!ReadAll(page_map, entries, count, (first_page + at) * sizeof entries[0])) return false;
        for (uint64_t i = 0; i < count; ++i, ++at) {
            if (!PageWasWritten(entries[i])) continue;
            if (run_end != at) {
                if (run_end != 0 && !put_run()) return false;
                run_start = at;
            }
            run_end = at + 1;
        }
    }
    return run_end == 0 || put_run();
}

}  // namespace corvella::platform
