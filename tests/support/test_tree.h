// Test helpers: temporary folders, an in-memory listing source, sinks that remember.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cache/block_reader.h"
#include "cache/cache_check.h"
#include "cache/listing_source.h"
#include "cache/sinks.h"
#include "results/result_set.h"

namespace corvella::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of a name inside, in the engine's form.
    std::u16string U16(const std::string& name = "") const;

  private:
    std::filesystem::path path_;
};

std::u16string ToU16(const std::filesystem::path& path);
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteFileOfSize(const std::filesystem::path& path, uint64_t bytes);

// A tree described by hand, listed as the file system would list it.
class FakeTree final : public ListingSource {
  public:
    struct Entry {
        std::u16string name;
        bool folder = false;
        uint64_t size = 0;
        uint64_t time = 0;
        bool no_enter = false;
    };

    // `folder` ends with its separator; a folder that has been added can be listed.
    FakeTree& Add(const std::u16string& folder, Entry entry);
    FakeTree& AddFolder(const std::u16string& folder);  // listable, perhaps empty
    // Takes the entry `name` out of `folder`'s listing; a folder's own listing stays.
    FakeTree& Remove(const std::u16string& folder, const std::u16string& name);
    // `count` files "<prefix>0000001"... of `name_units` characters, made as they are listed.
    FakeTree& AddGenerated(const std::u16string& folder, uint32_t count, uint32_t name_units,
                           const std::u16string& prefix = u"f");

    bool Open(const std::u16string& folder) override;
    bool Next(platform::DirEntry& entry) override;
    void Close() override;

    // Called at every Open with the folder path; may throw.
    std::function<void(const std::u16string&)> on_open;
    // Called before each entry with the folder and the entry's index; may throw.
    std::function<void(const std::u16string&, size_t)> on_next;
    std::vector<std::u16string> opened;

  private:
    struct Folder {
        std::vector<Entry> entries;
        uint32_t generated = 0;
        uint32_t generated_units = 0;
        std::u16string generated_prefix;
    };
    std::map<std::u16string, Folder> folders_;
    const Folder* current_ = nullptr;
    std::u16string current_path_;
    size_t index_ = 0;
    std::u16string name_;
};

class CollectErrors final : public ErrorSink {
  public:
    void ShowError(std::u16string_view message) override { messages.emplace_back(message); }
    std::vector<std::u16string> messages;
};

class CollectStatus final : public StatusSink {
  public:
    void SetStatusText(std::u16string_view text) override { texts.emplace_back(text); }
    std::vector<std::u16string> texts;
};

// A cache file's entries as a flat list of full paths in walk order, read with the checked
// reader; "/" for folders. For comparing a build with what was expected.
struct ReadEntry {
    std::u16string path;
    bool folder;
    uint32_t value;
    uint64_t time;
};
std::vector<ReadEntry> ReadAllEntries(const std::vector<uint8_t>& file, char16_t separator);
std::vector<std::u16string> Paths(const std::vector<ReadEntry>& entries);  // in the same order
CacheCheckReport Check(const std::vector<uint8_t>& file);

// Appends a record to a result set, its texts to the pool.
void AddResult(ResultSet& set, std::u16string_view location, std::u16string_view name,
               uint32_t size_kb = 0, bool folder = false, uint64_t time = 0);

// Builds `tree` over `roots` into the cache file `cache_path` (no skip folder); true when the
// final copy was made, with no message shown.
bool BuildFake(FakeTree& tree, const std::vector<std::u16string>& roots,
               const std::u16string& cache_path);

// Builds the real folder `root` (ending in its separator) into "cache.db" in `dir` with the file
// system's own listing, checks the result, and returns its entries by full path.
std::map<std::u16string, ReadEntry> BuildReal(const TempDir& dir, const std::u16string& root);

std::string Narrow(std::u16string_view text);  // for messages in test output

}  // namespace corvella::test
