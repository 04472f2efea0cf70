// Memory the system hands out zeroed, filling each page in only when it is first touched.
//
// For a large bitmap that one walk needs cleared and then touches sparsely: clearing it by hand
// touches every page at once on the calling thread, and on some machines the first touch of a
// page (a fault into the kernel, a trap into the hypervisor) costs far more than the clearing.
// Where the system has large pages, a block of a megabyte or more is placed and sized in whole
// 2 MB pages and asked for them, so that a few faults fill the whole block.
#pragma once

#include <cstddef>
#include <memory>

namespace corvella::platform {

// Gives a block back to the system; the one part each platform writes.
struct ZeroedMemoryRelease {
    size_t size = 0;
    void operator()(void* block) const;
};

class ZeroedMemory {
  public:
    ZeroedMemory() = default;
    // At least `bytes`, all zero. Throws std::bad_alloc when the system refuses.
    explicit ZeroedMemory(size_t bytes);

    void* data() const { return block_.get(); }
    size_t size() const { return block_ ? block_.get_deleter().size : 0; }

  private:
    std::unique_ptr<void, ZeroedMemoryRelease> block_;
};

}  // namespace corvella::platform
