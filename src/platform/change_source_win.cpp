// ReadDirectoryChangesW over one root, read synchronously on the reader's thread.
//
// Each Read is one blocking read over the whole subtree into a 4,096-byte buffer. A record names a
// path relative to the root; the folder the change happened in is cut from it and put in its long
// form, the form the cache names folders by. A folder that is gone by then is left out: its
// removal is a change in its parent, which has a record of its own. A read that succeeds with no
// bytes means the system discarded the batch, and nothing can be said about which folders changed.
//
// Waking. A synchronous read ends only when a change happens or the read is cancelled. Wake sets a
// flag, which Read checks before it blocks, and then makes a change: it creates a delete-on-close
// file in the root and closes it again. Where that file cannot be made (no right to write in the
// root, or a file of that name held open by someone else) it cancels the read instead, with
// CancelSynchronousIo on the reading thread, whose handle Read records. Either poke can come too
// early: a read that has not reached the system yet cannot be cancelled, and before the first read
// the system does not collect changes for the handle. So Wake pokes again until the Read under way
// has returned. Changes that came with a wake are handed out first; the flag stays set, and the
// next Read returns Woken at once.
#include "platform/change_source_win.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>

#include "platform/change_source.h"
#include "platform/file.h"
#include "platform/handle_win.h"
#include "platform/long_path_win.h"
#include "platform/text.h"
#include "platform/text_win.h"

namespace corvella::platform {

namespace {

constexpr DWORD kBufferBytes = 4096;
// File and folder names, sizes, creation times and security; not last-write times or attributes.
constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                          FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_CREATION |
                          FILE_NOTIFY_CHANGE_SECURITY;
static_assert(kFilter == 0x14B);
constexpr DWORD kLongPathUnits = 32768;
constexpr auto kWakeRetry = std::chrono::milliseconds(100);

// The long form of `folder` (ending with "\"), in the plain "C:\..." form; false when the folder
// does not exist. `buffer` is reused across calls.
bool ToLongForm(const std::u16string& folder, std::wstring& buffer, std::u16string& result) {
    // Up to MAX_PATH the plain form works everywhere; past it only the \\?\ form reaches the
    // folder, and the prefix is taken off the answer again.
    const bool prefixed = folder.size() >= MAX_PATH;
    const std::wstring path = prefixed ? LongPath(folder) : ToWide(folder);
    buffer.resize(kLongPathUnits);
    const DWORD got = GetLongPathNameW(path.c_str(), buffer.data(), kLongPathUnits);
    if (got == 0 || got >= kLongPathUnits) return false;
    size_t start = 0;
    if (prefixed && buffer.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        start = 6;  // keeps "\\" before the server's name
        buffer[6] = L'\\';
    } else if (prefixed && buffer.compare(0, 4, L"\\\\?\\") == 0) {
        start = 4;
    }
    result = FromWide(buffer.data() + start, got - start);
    if (result.empty() || result.back() != u'\\') result += u'\\';
    return true;
}

class DirectoryChangeSource final : public ChangeSource {
  public:
    ~DirectoryChangeSource() override { Close(); }

    bool Open(const std::u16string& root, std::u16string& problem) override;
    ReadResult Read(std::vector<std::u16string>& folders) override;
    void Wake() override;
    std::u16string TakeNotice() override { return {}; }
    void Close() override;

  private:
    bool TouchWakeFile() const;

    std::u16string root_;
    FileHandle directory_;
    Handle reader_;  // the thread in Read, for CancelSynchronousIo
    DWORD reader_id_ = 0;
    std::mutex lock_;  // guards wake_, reading_ and the reader's handle
    std::condition_variable read_ended_;
    bool wake_ = false;
    bool reading_ = false;
    alignas(DWORD) unsigned char buffer_[kBufferBytes];
};

bool DirectoryChangeSource::Open(const std::u16string& root, std::u16string& problem) {
    Close();
    root_ = root;
    if (root_.empty() || root_.back() != u'\\') root_ += u'\\';
    directory_.Reset(CreateFileW(LongPath(root_).c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!directory_.IsOpen()) {
        problem = u"Cannot watch " + root_ + u" for changes: " + SystemErrorText(static_cast<int>(GetLastError())) + u".";
        return false;
    }
    std::lock_guard<std::mutex> lock(lock_);
    wake_ = false;
    return true;
}

ChangeSource::ReadResult DirectoryChangeSource::Read(std::vector<std::u16string>& folders) {
    if (!directory_.IsOpen()) return ReadResult::Failed;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (wake_) {
            wake_ = false;
            return ReadResult::Woken;
        }
        if (!reader_.IsOpen() || reader_id_ != GetCurrentThreadId()) {
            // GetCurrentThread is a pseudo handle that means the caller wherever it is used.
            HANDLE thread = nullptr;
            if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                                 &thread, THREAD_TERMINATE, FALSE, 0))
                thread = nullptr;
            reader_.Reset(thread);
            reader_id_ = GetCurrentThreadId();
        }
        reading_ = true;
    }
    std::memset(buffer_, 0, sizeof buffer_);
    DWORD bytes = 0;
    const BOOL ok = ReadDirectoryChangesW(directory_.get(), buffer_, kBufferBytes, TRUE, kFilter,
                                          &bytes, nullptr, nullptr);
    {
        std::lock_guard<std::mutex> lock(lock_);
        reading_ = false;
    }
    read_ended_.notify_all();

    const size_t first = folders.size();
    if (ok && bytes > 0) AppendChangedFolders(root_, buffer_, bytes, folders);
    if (folders.size() > first) return ReadResult::Changes;
    std::lock_guard<std::mutex> lock(lock_);
    if (wake_) {
        wake_ = false;
        return ReadResult::Woken;
    }
    return ok ? ReadResult::Nothing : ReadResult::Failed;
}

void DirectoryChangeSource::Wake() {
    std::unique_lock<std::mutex> lock(lock_);
    wake_ = true;
    bool by_file = true;
    while (reading_) {
        if (by_file) {
            lock.unlock();
            by_file = TouchWakeFile();
            lock.lock();
        }
        if (!by_file && reading_ && reader_.IsOpen()) CancelSynchronousIo(reader_.get());
        read_ended_.wait_for(lock, kWakeRetry, [this] { return !reading_; });
    }
}

bool DirectoryChangeSource::TouchWakeFile() const {
    // DELETE access is what FILE_FLAG_DELETE_ON_CLOSE requires.
    const FileHandle file(CreateFileW(
        LongPath(root_ + kWakeFileName).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.IsOpen();
}

void DirectoryChangeSource::Close() {
    reader_.Close();
    directory_.Close();
}

}  // namespace

void AppendChangedFolders(const std::u16string& root, const void* records, size_t bytes,
                          std::vector<std::u16string>& folders) {
    const auto* base = static_cast<const unsigned char*>(records);
    const size_t name_at = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    std::wstring buffer;
    std::u16string folder;
    std::u16string long_form;
    for (size_t at = 0; at + name_at <= bytes;) {
        const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + at);
        const size_t name_bytes = record->FileNameLength;
        if (name_bytes > bytes - at - name_at) break;
        switch (record->Action) {
            case FILE_ACTION_ADDED:
            case FILE_ACTION_REMOVED:
            case FILE_ACTION_MODIFIED:
            case FILE_ACTION_RENAMED_NEW_NAME: {
                folder = root;
                folder.append(reinterpret_cast<const char16_t*>(record->FileName),
                              name_bytes / sizeof(char16_t));
                folder.erase(folder.rfind(u'\\') + 1);  // the root ends with one, at the least
                if (ToLongForm(folder, buffer, long_form)) folders.push_back(long_form);
                break;
            }
            default:  // the old name of a rename: its new name's record follows
                break;
        }
        if (record->NextEntryOffset == 0) break;
        at += record->NextEntryOffset;
    }
}

std::unique_ptr<ChangeSource> MakeSystemChangeSource() {
    return std::make_unique<DirectoryChangeSource>();
}

}  // namespace corvella::platform
