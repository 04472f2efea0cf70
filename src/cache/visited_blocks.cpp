#include "cache/visited_blocks.h"

#include <atomic>
#include <cstring>

#include "cache/cache_format.h"

namespace corvella {

namespace {

// One bit per kEmptyBlockBytes: the most bytes a bit can stand for while two blocks, at least
// that far apart, still never share one. The fewer the bits, the less new memory a walk touches:
// the large tree's 82 MB cache takes one 2 MB page, where a bit per 4 bytes took two.
constexpr uint32_t kBytesPerBit = kEmptyBlockBytes;

size_t WordsFor(uint32_t file_size) {
    return file_size / kBytesPerBit / 64 + 1;
}

bool Outside(uint32_t block, uint32_t file_size) {
    return block < kFirstBlockOffset || block >= file_size;
}

size_t WordOf(uint32_t block) {
    return block / kBytesPerBit / 64;
}

uint64_t BitOf(uint32_t block) {
    return uint64_t(1) << (block / kBytesPerBit % 64);
}

}  // namespace

void VisitedBlocks::Clear(uint32_t file_size) {
    const size_t bytes = WordsFor(file_size) * sizeof(uint64_t);
    words_ = nullptr;
    file_size_ = 0;  // until the memory is had, every block counts as outside
    if (bytes > memory_.size()) {
        memory_ = platform::ZeroedMemory();  // the old block goes before the new one is had
        memory_ = platform::ZeroedMemory(bytes);
        used_ = false;
    }
    words_ = static_cast<uint64_t*>(memory_.data());
    if (used_) std::memset(words_, 0, bytes);
    used_ = true;
    file_size_ = file_size;
}

Visit VisitedBlocks::Enter(uint32_t block) {
    if (Outside(block, file_size_)) return Visit::Outside;
    uint64_t& word = words_[WordOf(block)];
    const uint64_t bit = BitOf(block);
    if (word & bit) return Visit::Again;
    word |= bit;
    return Visit::First;
}

Visit VisitedBlocks::EnterShared(uint32_t block) {
    if (Outside(block, file_size_)) return Visit::Outside;
    std::atomic_ref<uint64_t> word(words_[WordOf(block)]);
    const uint64_t bit = BitOf(block);
    return (word.fetch_or(bit, std::memory_order_relaxed) & bit) ? Visit::Again : Visit::First;
}

}  // namespace corvella
