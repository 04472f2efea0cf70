#include "serve/protocol.h"

#include <cstring>

namespace corvella::serve {

namespace {

constexpr char kRequestTag[3] = {'C', 'V', 'Q'};
constexpr char kAnswerTag[3] = {'C', 'V', 'A'};

// Request flags; a bit outside kKnownFlags is refused.
enum : uint32_t {
    kCountOnly = 1u << 0,
    kFilesOnly = 1u << 1,
    kFoldersOnly = 1u << 2,
    kNoSubdirectories = 1u << 3,
    kMinSize = 1u << 4,
    kMaxSize = 1u << 5,
    kDateFrom = 1u << 6,
    kDateTo = 1u << 7,
    kSorted = 1u << 8,
    kKnownFlags = (1u << 9) - 1,
};
constexpr uint8_t kLastSortKey = uint8_t(SortKey::Date);

class Writer {
  public:
    explicit Writer(const char tag[3]) {
        bytes_.assign(tag, tag + 3);
        U8(kVersion);
    }
    void U8(uint8_t v) { bytes_.push_back(v); }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
    }
    void U64(uint64_t v) {
        for (int i = 0; i < 8; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
    }
    void Text(const std::u16string& text) {
        U32(uint32_t(text.size()));
        for (char16_t c : text) {
            bytes_.push_back(uint8_t(c));
            bytes_.push_back(uint8_t(c >> 8));
        }
    }
    Bytes Take() { return std::move(bytes_); }

  private:
    Bytes bytes_;
};

// Reads fields from the front of a body; once a read fails, every later one fails too.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : at_(data), left_(size) {}

    bool Tag(const char tag[3]) {
        return Take(3) && std::memcmp(at_ - 3, tag, 3) == 0 && U8() == kVersion && ok_;
    }
    uint8_t U8() { return Take(1) ? at_[-1] : 0; }
    uint32_t U32() { return uint32_t(Number(4)); }
    uint64_t U64() { return Number(8); }
    std::u16string Text() {
        const uint32_t units = U32();
        if (units > kMostTextUnits || units > left_ / 2) ok_ = false;
        if (!ok_) return {};
        std::u16string text(units, u'\0');
        for (uint32_t i = 0; i < units; ++i) text[i] = char16_t(at_[2 * i] | at_[2 * i + 1] << 8);
        Take(2 * size_t(units));
        if (!WellFormed(text)) ok_ = false;
        return text;
    }
    bool Fail() { return ok_ = false; }
    bool ok() const { return ok_; }
    // Every field read, and nothing after the last one.
    bool Done() const { return ok_ && left_ == 0; }
    size_t left() const { return left_; }

  private:
    bool Take(size_t n) {
        if (!ok_ || n > left_) return ok_ = false;
        at_ += n;
        left_ -= n;
        return true;
    }
    uint64_t Number(int bytes) {
        if (!Take(size_t(bytes))) return 0;
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= uint64_t(at_[i - bytes]) << (8 * i);
        return v;
    }
    // Every high surrogate followed by a low one, no low one on its own.
    static bool WellFormed(const std::u16string& text) {
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c >= 0xDC00 && c <= 0xDFFF) return false;
            if (c >= 0xD800 && c <= 0xDBFF) {
                if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                    return false;
                ++i;
            }
        }
        return true;
    }

    const uint8_t* at_;
    size_t left_;
    bool ok_ = true;
};

}  // namespace

Bytes EncodeRequest(const SearchRequest& request) {
    const SearchCriteria& c = request.criteria;
    uint32_t flags = 0;
    if (request.count_only) flags |= kCountOnly;
    if (c.kind == SearchKind::FilesOnly) flags |= kFilesOnly;
    if (c.kind == SearchKind::FoldersOnly) flags |= kFoldersOnly;
    if (c.no_subdirectories) flags |= kNoSubdirectories;
    if (c.min_size_enabled) flags |= kMinSize;
    if (c.max_size_enabled) flags |= kMaxSize;
    if (c.date_from_enabled) flags |= kDateFrom;
    if (c.date_to_enabled) flags |= kDateTo;
    if (request.sort) flags |= kSorted;
    Writer w(kRequestTag);
    w.U32(flags);
    w.U8(request.sort ? uint8_t(*request.sort) : 0);
    w.U32(request.threads);
    w.U32(c.min_size_kb);
    w.U32(c.max_size_kb);
    w.U64(c.date_from);
    w.U64(c.date_to);
    w.Text(request.cache_path);
    w.Text(c.pattern);
    w.Text(c.location);
    w.Text(request.format);
    return w.Take();
}

std::optional<SearchRequest> DecodeRequest(const uint8_t* body, size_t size) {
    if (size > kMostRequestBytes) return std::nullopt;
    Reader r(body, size);
    if (!r.Tag(kRequestTag)) return std::nullopt;
    SearchRequest request;
    SearchCriteria& c = request.criteria;
    const uint32_t flags = r.U32();
    const uint8_t sort = r.U8();
    request.threads = r.U32();
    c.min_size_kb = r.U32();
    c.max_size_kb = r.U32();
    c.date_from = r.U64();
    c.date_to = r.U64();
    request.cache_path = r.Text();
    c.pattern = r.Text();
    c.location = r.Text();
    request.format = r.Text();
    if (!r.Done() || (flags & ~kKnownFlags) != 0 ||
        (flags & (kFilesOnly | kFoldersOnly)) == (kFilesOnly | kFoldersOnly) ||
        request.threads == 0 || request.threads > kMostWalkThreads)
        return std::nullopt;
    // What is not asked for must be zero, so that one request has one encoding.
    if (flags & kSorted) {
        if (sort > kLastSortKey) return std::nullopt;
        request.sort = SortKey(sort);
    } else if (sort != 0) {
        return std::nullopt;
    }
    if ((!(flags & kMinSize) && c.min_size_kb) || (!(flags & kMaxSize) && c.max_size_kb) ||
        (!(flags & kDateFrom) && c.date_from) || (!(flags & kDateTo) && c.date_to))
        return std::nullopt;
    request.count_only = flags & kCountOnly;
    c.kind = flags & kFilesOnly     ? SearchKind::FilesOnly
             : flags & kFoldersOnly ? SearchKind::FoldersOnly
                                    : SearchKind::All;
    c.no_subdirectories = flags & kNoSubdirectories;
    c.min_size_enabled = flags & kMinSize;
    c.max_size_enabled = flags & kMaxSize;
    c.date_from_enabled = flags & kDateFrom;
    c.date_to_enabled = flags & kDateTo;
    return request;
}

Bytes EncodeAnswer(const SearchAnswer& answer) {
    Writer w(kAnswerTag);
    w.U8(uint8_t(answer.status));
    w.U64(answer.generation);
    w.U8(answer.exit_code);
    w.U32(uint32_t(answer.lines.size()));
    for (const AnswerLine& line : answer.lines) {
        w.U8(line.to_stderr ? 1 : 0);
        w.Text(line.text);
    }
    return w.Take();
}

std::optional<SearchAnswer> DecodeAnswer(const uint8_t* body, size_t size) {
    if (size > kMostAnswerBytes) return std::nullopt;
    Reader r(body, size);
    if (!r.Tag(kAnswerTag)) return std::nullopt;
    SearchAnswer answer;
    const uint8_t status = r.U8();
    answer.generation = r.U64();
    answer.exit_code = r.U8();
    const uint32_t count = r.U32();
    // A line takes at least five bytes: the count cannot promise more than the body holds.
    if (!r.ok() || count > r.left() / 5 || status > uint8_t(AnswerStatus::Declined) ||
        answer.exit_code > 2)
        return std::nullopt;
    answer.status = AnswerStatus(status);
    for (uint32_t i = 0; i < count && r.ok(); ++i) {
        const uint8_t stream = r.U8();
        if (stream > 1) r.Fail();
        answer.lines.push_back({stream == 1, r.Text()});
    }
    if (!r.Done()) return std::nullopt;
    return answer;
}

std::optional<size_t> FrameLength(const uint8_t head[4], size_t most) {
    const size_t length =
        size_t(head[0]) | size_t(head[1]) << 8 | size_t(head[2]) << 16 | size_t(head[3]) << 24;
    if (length > most) return std::nullopt;
    return length;
}

std::array<uint8_t, 4> FrameHead(size_t length) {
    return {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)};
}

}  // namespace corvella::serve
