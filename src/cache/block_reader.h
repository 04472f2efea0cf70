// The bounds-checked reader of folder blocks. Every reader of a cache file walks blocks with it,
// so a damaged file yields a fault instead of a read past the mapping.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cache/cache_format.h"

namespace corvella {

// The mapped bytes of a cache file.
struct CacheView {
    const uint8_t* base = nullptr;
    uint32_t size = 0;  // bytes mapped; files never exceed kMaxCacheBytes
};

// One record, by offsets into the view (names are unaligned UTF-16 in the image).
struct EntryView {
    uint32_t record_offset = 0;
    uint16_t tag = 0;
    uint32_t name_offset = 0;  // first unit of the name
    uint32_t name_units = 0;   // without the NUL
    uint32_t value = 0;
    uint64_t last_write = 0;
    // False when the reader's NameHint rules the name out; always true without a hint.
    bool maybe = true;

    bool IsFile() const { return tag == kTagFile; }
    bool IsFolder() const { return tag == kTagFolder; }
    uint32_t value_offset() const { return record_offset + ValueFieldOffset(name_units); }
    uint32_t end_offset() const { return record_offset + RecordBytes(name_units); }
    char16_t NameUnit(const CacheView& view, uint32_t i) const {
        return Load16(view.base + name_offset + 2 * i);
    }
    std::u16string Name(const CacheView& view) const;
};

enum class BlockFault {
    None,
    OffsetOutsideFile,  // the block starts at or past the end of the file
    CapacityTooSmall,   // below the 6 bytes of an empty block
    CapacityPastEnd,    // the block claims bytes past the end of the file
    NameUnterminated,   // a name runs to the end of the block without its NUL
    RecordPastEnd,      // a record's value and time run past the end of the block
    EndTagMissing,      // the records fill the block and no end tag follows
};

const char* DescribeBlockFault(BlockFault fault);

// A cheap test a walk can have the reader apply to every name while it looks for the name's end:
// a name can hold a text only where a unit that may fold to the text's `first` unit is followed
// by one that may fold to its `second` (with `pair`; else the first unit alone). Units past ASCII
// always may. A name without such a place comes back with `maybe` false; one with it still
// needs the full test. With `whole` (the unit or pair is the whole text), a run of files also
// says which names hold the text for certain: a place where the wanted units stand exactly.
//
// With `tails` instead, the hint is of a glob of '*' and literal tails ("*.c;*.h"), each of
// one to four printable ASCII units, folded: a name matches for certain when it ends with one of
// them, up to case, and can match otherwise only through a unit past ASCII. The reader compares
// a name's last four units, read as one word, with each tail: `tail_word` holds the tail in
// the word's last lanes, `tail_lanes` masks those lanes, and `tail_fold` sets bit 0x20 in the
// lanes of letters, so that a capital reads as its letter. A name shorter than the tail brings
// its record's tag into the word, which no printable unit equals.
struct NameHint {
    static constexpr uint32_t kMaxTails = 4;
    char16_t first = 0, first_twin = 0;
    char16_t second = 0, second_twin = 0;
    bool pair = false;
    bool whole = false;
    uint32_t tails = 0;
    uint64_t tail_word[kMaxTails] = {}, tail_fold[kMaxTails] = {}, tail_lanes[kMaxTails] = {};

    // Adds a tail, folded; false, leaving the hint as it was, when it does not fit: a fifth tail,
    // a tail of no unit or of more than four, or a unit outside printable ASCII.
    bool AddTail(std::u16string_view tail);
    // Whether the name of `units` units at `name` ends with one of the tails, for certain. Reads
    // the eight bytes before the name's NUL: in its block for a name of four units or more, and
    // from two bytes before the block's start at most otherwise.
    bool EndsWithTail(const uint8_t* name, uint32_t units) const {
        uint64_t last;
        std::memcpy(&last, name + 2 * units - 8, 8);
        bool ends = false;
        for (uint32_t t = 0; t < tails; ++t)
            ends |= ((last | tail_fold[t]) & tail_lanes[t]) == tail_word[t];
        return ends;
    }
};

class BlockReader {
  public:
    // The root block's capacity may be 0 while a build is still copying drive by drive; it is
    // then read up to the first folder block. `hint`, when given, must outlive the reader.
    BlockReader(const CacheView& view, uint32_t block_offset, const NameHint* hint = nullptr);

    // The next record, tags 1, 2, 3 and any other alike; false at the end tag or on a fault.
    bool Next(EntryView& entry);
    // The next record with tag 1 or 2; the others are skipped as every walk must.
    bool NextEntry(EntryView& entry);
    // The files that come next, read with the reader's state held in registers, up to the first
    // record that is not a file, a name of 64 units or more, or anything amiss, all of which are
    // left to Next. Each file's size is added to `sum_kb`, and each file the hint does not rule
    // out is given to `test(name_offset, name_units, value, record_offset, sure)`, `sure` when a
    // `whole` hint finds the text in the name for certain; false from the test stops the reading
    // (the reader is then left behind that file) and is returned. With `tally`, sure files are
    // added to it instead, without a branch on each (half the names may hold one letter, which
    // no branch predicts), and only files the hint allows that are not sure reach the test.
    struct Tally {
        uint64_t files = 0, units = 0, kb = 0;
    };
    template <typename Test>
    bool ReadFiles(uint64_t& sum_kb, Test&& test, Tally* tally = nullptr);

    BlockFault fault() const { return fault_; }
    // Where the fault was found (the record or the block).
    uint32_t fault_offset() const { return fault_offset_; }
    uint32_t block_offset() const { return block_; }
    uint32_t capacity() const { return capacity_; }
    // After Next returned false without a fault: the byte after the end tag.
    uint32_t end_offset() const { return pos_ + 2; }

  private:
    // The reader looks at the block a window of 64 units at a time: one bit per unit for each
    // unit that is 0, and one for each place the hint allows. A name's end is then the next bit
    // of a mask, and most names need no load of their own.
    static constexpr uint32_t kWindowUnits = 64;
    static constexpr uint32_t kWindowBytes = 2 * kWindowUnits;
    struct Window {
        uint64_t zero;    // bit i: unit i of the window is 0
        uint64_t hinted;  // bit i: the hint allows a place at unit i
        uint64_t sure;    // bit i: a whole hint's units stand exactly at unit i
    };
    // Returned by value, so that a run of files keeps the masks in registers. The view and the
    // hint come in as arguments, so that a run of files can pass copies held in locals: read
    // through `this`, they would be loaded again for every window, since the run's test may
    // write to memory.
    Window ComputeWindow(uint32_t at) const { return MakeWindow(view_, at, hint_, byte_hint_); }
    static Window MakeWindow(const CacheView& view, uint32_t at, const NameHint* hint,
                             bool byte_hint);
    static Window MakeWindowByUnits(const CacheView& view, uint32_t at, const NameHint* hint);
    // The window from its per-unit masks: where the units are 0; where each unit of the hint's
    // pair may stand, and where it stands exactly.
    static Window CombineWindow(const NameHint* hint, uint64_t zero, uint64_t first,
                                uint64_t second, uint64_t first_exact, uint64_t second_exact) {
        if (!hint) return Window{zero, 0, 0};
        const uint64_t sure = !hint->whole ? 0
                              : hint->pair ? first_exact & (second_exact >> 1)
                                           : first_exact;
        // The unit after the window is not read: its place counts as allowed, and never as sure.
        if (!hint->pair) return Window{zero, first, sure};
        return Window{zero, first & ((second >> 1) | (uint64_t(1) << 63)), sure};
    }
    // ReadFiles for one kind of run, decided once per run: with a hint or without, and with a
    // tally or without, each a loop that holds only its own tests. With one loop for all kinds,
    // the tally's test of a name compiled to a branch on whether the name is sure.
    template <bool kHinted, bool kTally, typename Test>
    bool ReadRun(uint64_t& sum_kb, Test& test, Tally* tally);
    // The mask bits of a name's places, counted from its first unit: a pair's place needs its
    // second unit inside the name. A tails hint's places are the name's units past ASCII.
    static uint64_t NamePlaces(uint32_t units, bool pair) {
        const uint32_t places = units - (pair && units > 0 ? 1 : 0);
        return (uint64_t(1) << places) - 1;
    }
    void LoadWindow(uint32_t at) {
        window_ = at;
        const Window w = ComputeWindow(at);
        zero_ = w.zero;
        hinted_ = w.hinted;
        sure_ = w.sure;
    }
    bool Fail(BlockFault fault, uint32_t at);

    CacheView view_;
    const NameHint* hint_ = nullptr;
    // The hint's units are all below DEL, each the same as its capital or different from it
    // in bit 0x20 alone: the window can test units packed into bytes.
    bool byte_hint_ = false;
    // The window's first byte (names share its grid); at first a window that ends where the
    // first name begins, so that the first name loads one.
    uint32_t window_ = 0;
    uint64_t zero_ = 0;
    uint64_t hinted_ = 0;
    uint64_t sure_ = 0;
    uint32_t block_ = 0;
    uint32_t capacity_ = 0;
    uint32_t limit_ = 0;  // first byte past the block
    uint32_t pos_ = 0;    // the next record's tag
    BlockFault fault_ = BlockFault::None;
    uint32_t fault_offset_ = 0;
    bool done_ = false;
};

// Inline: a query calls these once per entry of the cache.
inline constexpr uint32_t kPrefetchAhead = 512;
inline bool BlockReader::Next(EntryView& entry) {
    if (done_) return false;
    if (uint64_t(pos_) + 2 > limit_) return Fail(BlockFault::EndTagMissing, block_);
    const uint8_t* base = view_.base;
    // Blocks are read front to back: ask for the bytes a few records on before they are needed.
    // A hint only, never a fault, even past the mapping's end.
    __builtin_prefetch(base + pos_ + kPrefetchAhead);
    const uint16_t tag = Load16(base + pos_);
    if (tag == kTagEnd) {
        done_ = true;
        return false;
    }
    // The name: units up to its NUL, all inside the block, found in the window's mask.
    const uint32_t name = pos_ + 2;
    if (name - window_ >= kWindowBytes) LoadWindow(name);
    const uint32_t shift = (name - window_) / 2;
    uint64_t zero = zero_ >> shift;
    uint64_t hinted = hinted_ >> shift;
    bool maybe = false;
    uint32_t at = name;  // where the mask's bit 0 lies
    while (zero == 0) {
        // The name goes on into the next window; what the hint allowed so far counts whole.
        maybe = maybe || hinted != 0;
        const uint64_t next = uint64_t(window_) + kWindowBytes;
        if (next + 2 > limit_) return Fail(BlockFault::NameUnterminated, pos_);
        at = uint32_t(next);
        LoadWindow(at);
        zero = zero_;
        hinted = hinted_;
    }
    const uint32_t end_units = uint32_t(std::countr_zero(zero));
    const uint32_t end = at + 2 * end_units;
    if (uint64_t(end) + 2 > limit_) return Fail(BlockFault::NameUnterminated, pos_);
    if (hint_) {
        // Places whose pair ends before the NUL.
        maybe = maybe || (hinted & NamePlaces(end_units, hint_->pair)) != 0;
        if (hint_->tails) maybe = maybe || hint_->EndsWithTail(base + name, (end - name) / 2);
    } else {
        maybe = true;
    }
    const uint32_t units = (end - name) / 2;
    // Value and time, and room for at least the end tag after them.
    if (uint64_t(pos_) + RecordBytes(units) + 2 > limit_)
        return Fail(BlockFault::RecordPastEnd, pos_);
    entry.record_offset = pos_;
    entry.tag = tag;
    entry.name_offset = name;
    entry.name_units = units;
    entry.value = Load32(base + pos_ + ValueFieldOffset(units));
    entry.last_write = Load64(base + pos_ + TimeFieldOffset(units));
    entry.maybe = maybe;
    pos_ += RecordBytes(units);
    return true;
}

inline BlockReader::Window BlockReader::MakeWindow(const CacheView& view, uint32_t at,
                                                   const NameHint* hint, bool byte_hint) {
#if defined(__SSE2__)
    if (uint64_t(at) + kWindowBytes <= view.size) {
        const uint8_t* p = view.base + at;
        const auto load = [p](uint32_t i) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        };
        const auto bits = [](__m128i v) { return uint32_t(_mm_movemask_epi8(v)); };
        // Each unit packed into a byte with signed saturation: 0 only where the unit is 0, the
        // unit itself below 0x80, and 0x7F or above for every unit past ASCII. Sixteen units
        // are then tested with one compare instead of eight.
        __m128i bytes[4];
        for (uint32_t g = 0; g < 4; ++g) bytes[g] = _mm_packs_epi16(load(2 * g), load(2 * g + 1));
        const __m128i nul = _mm_setzero_si128();
        uint64_t zero = 0;
        for (uint32_t g = 0; g < 4; ++g)
            zero |= uint64_t(bits(_mm_cmpeq_epi8(bytes[g], nul))) << (16 * g);
        if (!hint) return Window{zero, 0, 0};
        // A byte of 0x7F or above (DEL, or a unit past ASCII) may fold to anything.
        const auto past_ascii = [&bytes, &bits] {
            const __m128i del = _mm_set1_epi8(0x7F);
            uint64_t any = 0;
            for (uint32_t g = 0; g < 4; ++g)
                any |= uint64_t(bits(bytes[g]) | bits(_mm_cmpeq_epi8(bytes[g], del))) << (16 * g);
            return any;
        };
        if (hint->tails) return Window{zero, past_ascii(), 0};
        if (byte_hint) {
            // The hint's units lie below DEL, so a byte equals one of them only where the unit
            // does; a unit and its capital differ in bit 0x20 alone, which is set on both sides.
            const __m128i first_fold = _mm_set1_epi8(char(hint->first ^ hint->first_twin));
            const __m128i first_unit = _mm_set1_epi8(char(hint->first | hint->first_twin));
            const __m128i second_fold = _mm_set1_epi8(char(hint->second ^ hint->second_twin));
            const __m128i second_unit = _mm_set1_epi8(char(hint->second | hint->second_twin));
            const uint64_t any = past_ascii();
            uint64_t first = 0, second = 0;
            for (uint32_t g = 0; g < 4; ++g) {
                const __m128i b = bytes[g];
                first |= uint64_t(bits(_mm_cmpeq_epi8(_mm_or_si128(b, first_fold), first_unit)))
                         << (16 * g);
                if (hint->pair)
                    second |=
                        uint64_t(bits(_mm_cmpeq_epi8(_mm_or_si128(b, second_fold), second_unit)))
                        << (16 * g);
            }
            return CombineWindow(hint, zero, first | any, second | any, first, second);
        }
        // A hint holding a unit past ASCII is tested on the units themselves: per unit, whether
        // it is one of the two wanted, and whether it is ASCII and none of them.
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
        const __m128i f1 = _mm_set1_epi16(static_cast<short>(hint->first));
        const __m128i f2 = _mm_set1_epi16(static_cast<short>(hint->first_twin));
        const __m128i s1 = _mm_set1_epi16(static_cast<short>(hint->second));
        const __m128i s2 = _mm_set1_epi16(static_cast<short>(hint->second_twin));
        const auto is = [](__m128i v, __m128i w1, __m128i w2) {
            return _mm_or_si128(_mm_cmpeq_epi16(v, w1), _mm_cmpeq_epi16(v, w2));
        };
        const auto pair_bits = [&bits](__m128i a, __m128i b) {
            return bits(_mm_packs_epi16(a, b));
        };
        const bool whole = hint->whole;
        uint64_t first = 0, second = 0, first_exact = 0, second_exact = 0;
        for (uint32_t g = 0; g < 4; ++g) {
            const __m128i a = load(2 * g);
            const __m128i b = load(2 * g + 1);
            const __m128i ascii_a = _mm_cmpeq_epi16(_mm_and_si128(a, high), nul);
            const __m128i ascii_b = _mm_cmpeq_epi16(_mm_and_si128(b, high), nul);
            const __m128i fa = is(a, f1, f2), fb = is(b, f1, f2);
            first |=
                uint64_t(~pair_bits(_mm_andnot_si128(fa, ascii_a), _mm_andnot_si128(fb, ascii_b)) &
                         0xFFFFu)
                << (16 * g);
            if (whole) first_exact |= uint64_t(pair_bits(fa, fb)) << (16 * g);
            if (hint->pair) {
                const __m128i sa = is(a, s1, s2), sb = is(b, s1, s2);
                second |= uint64_t(~pair_bits(_mm_andnot_si128(sa, ascii_a),
                                              _mm_andnot_si128(sb, ascii_b)) &
                                   0xFFFFu)
                          << (16 * g);
                if (whole) second_exact |= uint64_t(pair_bits(sa, sb)) << (16 * g);
            }
        }
        return CombineWindow(hint, zero, first, second, first_exact, second_exact);
    }
#endif
    return MakeWindowByUnits(view, at, hint);
}

template <typename Test>
inline bool BlockReader::ReadFiles(uint64_t& sum_kb, Test&& test, Tally* tally) {
    if (!hint_) return ReadRun<false, false>(sum_kb, test, nullptr);
    if (tally && hint_->whole) return ReadRun<true, true>(sum_kb, test, tally);
    return ReadRun<true, false>(sum_kb, test, nullptr);
}

template <bool kHinted, bool kTally, typename Test>
inline bool BlockReader::ReadRun(uint64_t& sum_kb, Test& test, Tally* tally) {
    if (done_) return true;
    const CacheView view = view_;
    const NameHint hint = kHinted ? *hint_ : NameHint{};
    const NameHint* const run_hint = kHinted ? &hint : nullptr;
    const bool byte_hint = byte_hint_;
    const uint8_t* base = view.base;
    const uint32_t limit = limit_;
    uint32_t pos = pos_, window = window_;
    Window masks{zero_, hinted_, sure_};
    uint64_t sum = 0, sure_files = 0, sure_units = 0, sure_kb = 0;
    bool go_on = true;
    while (uint64_t(pos) + 2 <= limit) {
        __builtin_prefetch(base + pos + kPrefetchAhead);
        if (Load16(base + pos) != kTagFile) break;
        const uint32_t name = pos + 2;
        uint32_t shift = (name - window) / 2;
        uint64_t ends = shift < kWindowUnits ? masks.zero >> shift : 0;
        if (ends == 0) {
            // The name runs past the window: a window from its first unit, which any name under
            // 64 units fits.
            if (shift == 0) break;
            window = name;
            masks = MakeWindow(view, name, run_hint, byte_hint);
            shift = 0;
            ends = masks.zero;
            if (ends == 0) break;
        }
        const uint32_t units = uint32_t(std::countr_zero(ends));
        // The NUL, value, time and an end tag inside the block (Next names any fault here).
        if (uint64_t(pos) + RecordBytes(units) + 2 > limit) break;
        const uint32_t value = Load32(base + pos + ValueFieldOffset(units));
        sum += value;
        const uint32_t record = pos;
        pos += RecordBytes(units);
        bool sure = false;
        if constexpr (kHinted) {
            const uint64_t allowed = NamePlaces(units, hint.pair);
            // A tails hint is sure of a name that ends with a tail; a unit past ASCII allows it.
            sure = hint.tails ? hint.EndsWithTail(base + name, units)
                              : hint.whole && ((masks.sure >> shift) & allowed) != 0;
            const bool allows = sure | (((masks.hinted >> shift) & allowed) != 0);
            if constexpr (kTally) {
                // Only a whole hint gets here. One branch, on a name the hint allows and the
                // tally cannot take, which is rare: whether a name is sure is a coin toss for
                // one common letter, and a branch on it is guessed wrong half the time. A sure
                // place is always an allowed one, so the difference is 1 or 0.
                const uint32_t all = 0u - uint32_t(sure);
                sure_files += sure;
                sure_units += units & all;
                sure_kb += value & all;
                if (int(allows) - int(sure) == 0) continue;
            } else if (!allows) {
                continue;
            }
        }
        if (!test(name, units, value, record, sure)) {
            go_on = false;
            break;
        }
    }
    if constexpr (kTally) {
        tally->files += sure_files;
        tally->units += sure_units;
        tally->kb += sure_kb;
    }
    pos_ = pos;
    window_ = window;
    zero_ = masks.zero;
    hinted_ = masks.hinted;
    sure_ = masks.sure;
    sum_kb += sum;
    return go_on;
}

inline bool BlockReader::NextEntry(EntryView& entry) {
    while (Next(entry)) {
        if (entry.tag == kTagFile || entry.tag == kTagFolder) return true;
    }
    return false;
}

}  // namespace corvella
