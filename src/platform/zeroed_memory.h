// Memory the system hands out zeroed, filling each page in only when it is first touched.
//
// For a large bitmap that one walk needs cleared and then touches sparsely: clearing it by hand
// touches every page at once on the calling thread, and on some machines the first touch of a
// page (a fault into the kernel, a trap into the hypervisor) costs far more than the clearing.
// A block of a megabyte or more is placed and sized in whole 2 MB pages, and the system is asked
// for large pages there (where it has them), so that a few faults fill the whole block.
#pragma once

#include <cstddef>
#include <utility>

namespace corvella::platform {

class ZeroedMemory {
  public:
    ZeroedMemory() = default;
    // At least `bytes`, all zero. Throws std::bad_alloc when the system refuses.
    explicit ZeroedMemory(size_t bytes);
    ~ZeroedMemory() { Free(); }
    ZeroedMemory(const ZeroedMemory&) = delete;
    ZeroedMemory& operator=(const ZeroedMemory&) = delete;
    ZeroedMemory(ZeroedMemory&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    ZeroedMemory& operator=(ZeroedMemory&& other) noexcept {
        if (this != &other) {
            Free();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }

    void* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    void Free();

    void* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace corvella::platform
