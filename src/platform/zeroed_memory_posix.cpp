#include <sys/mman.h>

#include <cstdint>
#include <new>

#include "platform/zeroed_memory.h"

namespace corvella::platform {

namespace {

constexpr size_t kLargePage = size_t(2) << 20;
constexpr size_t kLargeFrom = size_t(1) << 20;

size_t RoundUp(size_t n, size_t to) {
    return (n + to - 1) / to * to;
}

}  // namespace

ZeroedMemory::ZeroedMemory(size_t bytes) {
    if (bytes == 0) return;
    if (bytes < kLargeFrom) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        block_ = {p, ZeroedMemoryRelease{bytes}};
        return;
    }
    // Whole large pages at a large page's boundary: one more page is asked for, and what lies
    // outside the aligned run is given back at once.
    if (bytes > SIZE_MAX - 2 * kLargePage) throw std::bad_alloc();
    const size_t size = RoundUp(bytes, kLargePage);
    const size_t asked = size + kLargePage;
    void* p = mmap(nullptr, asked, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    const uintptr_t start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t aligned = RoundUp(start, kLargePage);
    if (aligned > start) munmap(p, aligned - start);
    if (start + asked > aligned + size)
        munmap(reinterpret_cast<void*>(aligned + size), start + asked - (aligned + size));
    block_ = {reinterpret_cast<void*>(aligned), ZeroedMemoryRelease{size}};
    // Only advice: without large pages the block is filled page by page, still zeroed.
    madvise(block_.get(), size, MADV_HUGEPAGE);
}

void ZeroedMemoryRelease::operator()(void* block) const {
    munmap(block, size);
}

}  // namespace corvella::platform
