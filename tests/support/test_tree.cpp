#include "support/test_tree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

#include "cache/cacher.h"
#include "platform/text.h"

namespace corvella::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            ("corvella-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::u16string TempDir::U16(const std::string& name) const {
    return ToU16(name.empty() ? path_ : path_ / fs::u8path(name));
}

std::u16string ToU16(const fs::path& path) {
#ifdef _WIN32
    const std::wstring& w = path.native();
    return std::u16string(w.begin(), w.end());
#else
    return FromUtf8(path.native());
#endif
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteFileOfSize(const fs::path& path, uint64_t bytes) {
    { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
    fs::resize_file(path, bytes);  // sparse where the file system allows it
}

FakeTree& FakeTree::Add(const std::u16string& folder, Entry entry) {
    folders_[folder].entries.push_back(std::move(entry));
    return *this;
}

FakeTree& FakeTree::AddFolder(const std::u16string& folder) {
    folders_[folder];
    return *this;
}

FakeTree& FakeTree::Remove(const std::u16string& folder, const std::u16string& name) {
    std::erase_if(folders_[folder].entries, [&](const Entry& e) { return e.name == name; });
    return *this;
}

FakeTree& FakeTree::AddGenerated(const std::u16string& folder, uint32_t count, uint32_t name_units,
                                 const std::u16string& prefix) {
    folders_[folder].generated = count;
    folders_[folder].generated_units = name_units;
    folders_[folder].generated_prefix = prefix;
    return *this;
}

bool FakeTree::Open(const std::u16string& folder) {
    opened.push_back(folder);
    if (on_open) on_open(folder);
    auto it = folders_.find(folder);
    current_ = it == folders_.end() ? nullptr : &it->second;
    current_path_ = folder;
    index_ = 0;
    return current_ != nullptr;
}

bool FakeTree::Next(platform::DirEntry& entry) {
    if (!current_ || index_ >= current_->entries.size() + current_->generated) return false;
    if (on_next) on_next(current_path_, index_);
    if (index_ < current_->entries.size()) {
        const Entry& e = current_->entries[index_];
        entry = {e.name, e.size, e.time, e.folder, e.no_enter};
    } else {
        const size_t n = index_ - current_->entries.size();
        const std::u16string digits = Widen(std::to_string(n));
        name_ = current_->generated_prefix;
        name_.append(current_->generated_units - std::min<size_t>(current_->generated_units,
                                                                 name_.size() + digits.size()),
                     u'0');
        name_ += digits;
        entry = {name_, n, 130000000000000000ull + n, false, false};
    }
    ++index_;
    return true;
}

void FakeTree::Close() {
    current_ = nullptr;
}

std::vector<ReadEntry> ReadAllEntries(const std::vector<uint8_t>& file, char16_t separator) {
    std::vector<ReadEntry> out;
    const CacheView view{file.data(), static_cast<uint32_t>(file.size())};
    struct Pending {
        uint32_t block;
        std::u16string path;  // empty for the root block, whose entries are the drives
    };
    // Depth first, in the order of the entries, like the build itself.
    std::vector<Pending> stack{{kRootBlockOffset, u""}};
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        BlockReader reader(view, p.block);
        EntryView e;
        std::vector<Pending> subs;
        while (reader.NextEntry(e)) {
            std::u16string path = p.path;
            if (!p.path.empty() && path.back() != separator) path += separator;
            path += e.Name(view);
            const bool folder = p.path.empty() || e.IsFolder();
            out.push_back({path, folder, e.value, e.last_write});
            if (folder && e.value != NoBlock) subs.push_back({e.value, path});
        }
        if (reader.fault() != BlockFault::None) throw std::runtime_error("block damaged");
        stack.insert(stack.end(), subs.rbegin(), subs.rend());
    }
    return out;
}

std::vector<std::u16string> Paths(const std::vector<ReadEntry>& entries) {
    std::vector<std::u16string> paths;
    for (const auto& e : entries) paths.push_back(e.path);
    return paths;
}

CacheCheckReport Check(const std::vector<uint8_t>& file) {
    return CheckCache(CacheView{file.data(), static_cast<uint32_t>(file.size())});
}

void AddResult(ResultSet& set, std::u16string_view location, std::u16string_view name,
               uint32_t size_kb, bool folder, uint64_t time) {
    const auto put = [&](std::u16string_view text) {
        const auto at = static_cast<uint32_t>(set.pool.size());
        set.pool.insert(set.pool.end(), text.begin(), text.end());
        set.pool.push_back(0);
        return at;
    };
    ResultRecord r;
    r.location = put(location);
    r.name = put(name);
    r.size_kb = size_kb;
    r.is_folder = folder;
    r.last_write = time;
    set.records.push_back(r);
}

bool BuildFake(FakeTree& tree, const std::vector<std::u16string>& roots,
               const std::u16string& cache_path) {
    CollectErrors errors;
    CCacher cacher(errors, cache_path);
    cacher.SetListingSource(&tree);
    cacher.SetSkipFolder(u"");
    const bool built = cacher.BuildCache(roots);
    for (const auto& m : errors.messages) ADD_FAILURE() << Narrow(m);
    return built && errors.messages.empty();
}

std::map<std::u16string, ReadEntry> BuildReal(const TempDir& dir, const std::u16string& root) {
    CollectErrors errors;
    CCacher cacher(errors, dir.U16("cache.db"));
    EXPECT_TRUE(cacher.BuildCache({root}));
    for (const auto& m : errors.messages) ADD_FAILURE() << Narrow(m);
    const auto f = ReadBytes(dir.path() / "cache.db");
    const CacheCheckReport report = Check(f);
    EXPECT_TRUE(report.ok) << report.fault;
    std::map<std::u16string, ReadEntry> by_path;
    for (auto& e : ReadAllEntries(f, root.back())) by_path[e.path] = e;
    return by_path;
}

std::string Narrow(std::u16string_view text) {
    return ToUtf8(text);
}

}  // namespace corvella::test
