// Owners of a POSIX file descriptor and of a region mapped with mmap. Each cannot be copied, can
// be moved, gives its resource back in its destructor, and has a Close() that is safe to call
// twice. The system calls stay in fd_posix.cpp, so that portable headers can hold these in their
// POSIX members without the system's headers.
#pragma once

#include <cstddef>
#include <utility>

namespace corvella::platform {

class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    // Closes what is held, then holds `fd`.
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(fd_, -1); }
    int get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // False only when close() itself failed: for a file just written that can be the first
    // report of a failed write, so writers check it.
    bool Close();

  private:
    int fd_ = -1;
};

class MappedRegion {
  public:
    MappedRegion() = default;
    ~MappedRegion() { Close(); }
    MappedRegion(const MappedRegion&) = delete;
    MappedRegion& operator=(const MappedRegion&) = delete;
    MappedRegion(MappedRegion&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    MappedRegion& operator=(MappedRegion&& other) noexcept {
        if (this != &other) {
            Close();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }

    // Unmaps what is held, then holds `size` bytes at `data` (a successful mmap's result).
    void Reset(void* data, size_t size) {
        Close();
        data_ = data;
        size_ = size;
    }
    void* get() const { return data_; }
    bool IsOpen() const { return data_ != nullptr; }
    void Close();

  private:
    void* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace corvella::platform
