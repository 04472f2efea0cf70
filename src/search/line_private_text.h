// A copy of a text that shares no cache line with any other memory.
//
// Every thread of a split walk reads its query's pattern for every name. Where the pattern lay
// on a line that another thread wrote (a neighbouring allocation, a frame of the calling
// thread's stack), each write took the line away from the reading core, and the split walk of
// "*.c;*.h" cost two cores what one thread alone took. The copy starts on a line of its own and
// fills its last line, so nothing else is ever placed beside it.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <string>

namespace corvella {

// The line the processors here share memory by (x86-64 and ARM64 alike).
inline constexpr size_t kCacheLineBytes = 64;

class LinePrivateText {
  public:
    // Copies `units` units of `text`; false, holding nothing, when out of memory.
    bool Assign(const char16_t* text, size_t units) {
        Clear();
        const size_t bytes =
            (units * sizeof(char16_t) + kCacheLineBytes - 1) / kCacheLineBytes * kCacheLineBytes;
        void* block = ::operator new(bytes == 0 ? kCacheLineBytes : bytes,
                                     std::align_val_t(kCacheLineBytes), std::nothrow);
        if (block == nullptr) return false;
        text_.reset(static_cast<char16_t*>(block));
        std::char_traits<char16_t>::copy(text_.get(), text, units);
        units_ = units;
        return true;
    }
    void Clear() {
        text_.reset();
        units_ = 0;
    }
    const char16_t* data() const { return text_.get(); }
    size_t units() const { return units_; }

  private:
    struct Release {
        void operator()(char16_t* text) const {
            ::operator delete(text, std::align_val_t(kCacheLineBytes));
        }
    };
    std::unique_ptr<char16_t, Release> text_;
    size_t units_ = 0;
};

}  // namespace corvella
