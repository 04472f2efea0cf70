// The folder blocks a walk has entered, so that a damaged file whose folders form a cycle, or
// whose two folders share a block, cannot lead a walk round forever or through a block twice.
//
// One bit per 6 bytes of the file: blocks are at least 6 bytes apart, so no two share a bit. The
// bitmap is cleared before every walk. The first clearing takes fresh zeroed memory from the
// system rather than clearing by hand, which for a one-off walk of a large file is most of what
// the bitmap costs; later clearings reuse the memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/zeroed_memory.h"

namespace corvella {

enum class Visit {
    Outside,  // no folder block can be there: in the header or past the file
    First,
    Again,
};

class VisitedBlocks {
  public:
    // Forgets every block, for a walk of a file of `file_size` bytes. Throws std::bad_alloc.
    void Clear(uint32_t file_size);
    // Marks `block` as entered.
    Visit Enter(uint32_t block);
    // The same, for walkers that share the bitmap on several threads.
    Visit EnterShared(uint32_t block);

  private:
    platform::ZeroedMemory memory_;
    uint64_t* words_ = nullptr;
    uint32_t file_size_ = 0;
    bool used_ = false;  // the memory holds marks of an earlier walk
};

}  // namespace corvella
