#include <windows.h>

#include <new>

#include "platform/zeroed_memory.h"

namespace corvella::platform {

ZeroedMemory::ZeroedMemory(size_t bytes) {
    if (bytes == 0) return;
    // Committed pages are zero and take memory only when first touched. Large pages would need
    // a privilege that a user's program does not hold.
    void* p = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!p) throw std::bad_alloc();
    block_ = {p, ZeroedMemoryRelease{bytes}};
}

void ZeroedMemoryRelease::operator()(void* block) const {
    VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace corvella::platform
