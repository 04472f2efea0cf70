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
    data_ = p;
    size_ = bytes;
}

void ZeroedMemory::Free() {
    if (data_) VirtualFree(data_, 0, MEM_RELEASE);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace corvella::platform
