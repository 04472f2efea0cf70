// inotify over one root: one watch per folder that a build enters.
//
// inotify watches single folders, not trees. Open walks the root and adds a watch for every folder
// the build would enter (the same rule, IsEnteredFolder, so the watched folders and the cached ones
// are one set), and from then on the events keep the set current: a folder created or moved in
// gets watches for itself and everything below it; a folder moved within the tree keeps its
// watches, which follow the inode, and only its paths are renamed; a folder moved out loses its
// watches. A deleted folder's watch ends by itself: the kernel sends IN_IGNORED, and only then is
// it forgotten. A watch is added before its folder is listed, so a subfolder made in between is
// seen at least once, by the listing or by the event.
//
// An event with a name is reported as the folder it happened in, as Windows reports its records.
// Events without a name concern the watched folder itself, and the parent's watch sees the same
// change with the name; they matter only for the root, whose parent nobody watches. A move between
// folders reports both, where Windows reports only the new name's folder: here the old folder's
// block in the cache still holds the name that left it.
//
// When the kernel's queue overflows, events are lost, among them creations of folders that needed
// watches. The root is reported, so that the caller rescans it, and the tree is walked again, which
// adds what is missing (adding a watch that exists hands back the one there is).
//
// In practice the limit is the kernel's number of watches per user, fs.inotify.max_user_watches.
// When it is reached the user is told once, with how to raise it, and what is watched stays
// watched.
//
// Threads: Open, Read and Close run on the reader's thread. Wake, from any thread, only writes to
// an eventfd that Read polls beside the inotify descriptor; the counter keeps a wake that comes
// before the Read. The notice is handed over under a lock.
#include "platform/change_source_posix.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <system_error>
#include <unordered_map>

#include "platform/dir_list.h"
#include "platform/fd_posix.h"
#include "platform/text.h"

namespace corvella::platform {

namespace {

// Security changes arrive as IN_ATTRIB. Links are never followed, as in the build. IN_EXCL_UNLINK:
// writes to a file that is already deleted but still open change nothing the cache holds.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW |
                                IN_ONLYDIR | IN_EXCL_UNLINK;
constexpr uint32_t kChangeMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_ATTRIB;

constexpr size_t kBufferBytes = 64 * 1024;
// Reads of what is queued already, per Read; bounds a batch while events keep pouring in.
constexpr int kReadsPerBatch = 16;

std::u16string SystemText(int error) {
    return FromUtf8(std::generic_category().message(error));
}

std::u16string CannotWatch(const std::u16string& root, const std::u16string& why) {
    return u"Cannot watch " + root + u" for changes: " + why + u".";
}

std::u16string WatchLimitText(const std::u16string& root) {
    uint64_t limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_user_watches") >> limit;
    const std::u16string key = u"fs.inotify.max_user_watches";
    const std::u16string suggested = FromUtf8(std::to_string(limit > 0 ? limit * 2 : 524288));
    std::u16string text = u"Cannot watch every folder under " + root + u" for changes: ";
    if (limit > 0) {
        text += u"the system allows " + FromUtf8(std::to_string(limit)) +
                u" inotify watches per user (" + key + u"), and they are all in use.";
    } else {
        text += u"the system's limit of inotify watches per user (" + key + u") is reached.";
    }
    text +=
        u" Changes in the folders left over go unnoticed until the next build. To raise the "
        u"limit, run \"sudo sysctl " +
        key + u"=" + suggested + u"\"; to keep it after a restart, put the line \"" + key + u"=" +
        suggested + u"\" in a file in /etc/sysctl.d, such as " + u"/etc/sysctl.d/90-corvella.conf.";
    return text;
}

bool StartsWith(const std::u16string& text, const std::u16string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

class InotifyChangeSource final : public ChangeSource {
  public:
    explicit InotifyChangeSource(size_t max_watches) : max_watches_(max_watches) {}
    ~InotifyChangeSource() override { Close(); }

    bool Open(const std::u16string& root, std::u16string& problem) override;
    ReadResult Read(std::vector<std::u16string>& folders) override;
    void Wake() override;
    std::u16string TakeNotice() override;
    void Close() override;

  private:
    enum class Added { Yes, No, Full };

    Added AddWatch(const std::u16string& folder);
    void WatchTree(const std::u16string& top);
    void Forget(int wd);
    void Unwatch(const std::u16string& top);
    size_t Rename(const std::u16string& from, const std::u16string& to);
    void Take(const inotify_event& event, std::vector<std::u16string>& folders, size_t first);
    void SettleMoveOut();
    void NoteLimit();

    const size_t max_watches_;
    Descriptor inotify_;
    Descriptor wake_;
    std::u16string root_;
    // Folder paths end with "/". A path keeps one watch; a stale watch of a path that was
    // replaced is removed when the new one is added.
    std::unordered_map<int, std::u16string> folder_of_;
    std::map<std::u16string, int> watch_of_;  // ordered, so a folder's subtree is one range
    // A folder that left a watched folder and whose arrival (same cookie) has not been read yet.
    bool moving_ = false;
    uint32_t moving_cookie_ = 0;
    std::u16string moving_from_;
    bool limit_noted_ = false;
    std::mutex notice_lock_;
    std::u16string notice_;
    alignas(inotify_event) char buffer_[kBufferBytes];
};

bool InotifyChangeSource::Open(const std::u16string& root, std::u16string& problem) {
    Close();
    root_ = root;
    if (root_.empty() || root_.back() != u'/') root_ += u'/';
    struct stat st {};
    if (::stat(ToUtf8(root_).c_str(), &st) != 0) {
        problem = CannotWatch(root_, SystemText(errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        problem = CannotWatch(root_, u"it is not a folder");
        return false;
    }
    inotify_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!inotify_.IsOpen()) {
        const int error = errno;
        problem = CannotWatch(root_, error == EMFILE ? u"the system's limit of inotify instances "
                                                       u"per user (fs.inotify.max_user_instances) "
                                                       u"is reached"
                                                     : SystemText(error));
        return false;
    }
    wake_.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake_.IsOpen()) {
        problem = CannotWatch(root_, SystemText(errno));
        Close();
        return false;
    }
    const Added added = AddWatch(root_);
    const int error = errno;
    if (added != Added::Yes) {
        if (added == Added::Full) {
            problem = TakeNotice();
        } else {
            problem = CannotWatch(root_, SystemText(error));
        }
        Close();
        return false;
    }
    WatchTree(root_);
    return true;
}

ChangeSource::ReadResult InotifyChangeSource::Read(std::vector<std::u16string>& folders) {
    if (!inotify_.IsOpen()) return ReadResult::Failed;
    pollfd polled[2] = {{wake_.get(), POLLIN, 0}, {inotify_.get(), POLLIN, 0}};
    while (::poll(polled, 2, -1) < 0) {
        if (errno != EINTR) return ReadResult::Failed;
    }
    if (polled[0].revents & POLLIN) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t taken = ::read(wake_.get(), &count, sizeof count);
        return ReadResult::Woken;  // what inotify has queued stays there for the next Read
    }
    if (!(polled[1].revents & POLLIN)) return ReadResult::Failed;

    const size_t first = folders.size();
    bool failed = false;
    for (int reads = 0; reads < kReadsPerBatch; ++reads) {
        const ssize_t got = ::read(inotify_.get(), buffer_, sizeof buffer_);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            failed = got < 0 && errno != EAGAIN;
            break;
        }
        for (size_t at = 0; at + sizeof(inotify_event) <= static_cast<size_t>(got);) {
            const auto& event = *reinterpret_cast<const inotify_event*>(buffer_ + at);
            Take(event, folders, first);
            at += sizeof(inotify_event) + event.len;
        }
    }
    // A folder moved out whose arrival is not in this batch has left the tree; should it arrive
    // later after all, it is watched anew.
    SettleMoveOut();
    if (folders.size() > first) return ReadResult::Changes;
    return failed ? ReadResult::Failed : ReadResult::Nothing;
}

void InotifyChangeSource::Take(const inotify_event& event, std::vector<std::u16string>& folders,
                               size_t first) {
    // Collapses the runs of one folder that saving a file or renaming within a folder make.
    const auto report = [&](const std::u16string& folder) {
        if (folders.size() > first && folders.back() == folder) return;
        folders.push_back(folder);
    };
    if (event.mask & IN_Q_OVERFLOW) {
        report(root_);
        WatchTree(root_);
        return;
    }
    if (event.mask & IN_IGNORED) {
        Forget(event.wd);
        return;
    }
    const auto found = folder_of_.find(event.wd);
    if (found == folder_of_.end()) return;  // a watch removed while its events were queued
    if (event.len == 0) {
        if ((event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) && found->second == root_) report(root_);
        return;
    }
    if (!(event.mask & kChangeMask)) return;
    const std::u16string folder = found->second;  // a copy: the watches may change below
    report(folder);
    if (!(event.mask & IN_ISDIR)) return;

    const std::u16string path = folder + FromUtf8(event.name) + u'/';
    if (event.mask & IN_CREATE) {
        WatchTree(path);
    } else if (event.mask & IN_MOVED_FROM) {
        SettleMoveOut();
        moving_ = true;
        moving_cookie_ = event.cookie;
        moving_from_ = path;
    } else if (event.mask & IN_MOVED_TO) {
        const bool within = moving_ && moving_cookie_ == event.cookie;
        moving_ = false;
        // A folder that was not watched where it came from (the limit) is given a chance here.
        if (!within || Rename(moving_from_, path) == 0) WatchTree(path);
    }
}

void InotifyChangeSource::SettleMoveOut() {
    if (!moving_) return;
    moving_ = false;
    Unwatch(moving_from_);
}

InotifyChangeSource::Added InotifyChangeSource::AddWatch(const std::u16string& folder) {
    const auto known = watch_of_.find(folder);
    if (known == watch_of_.end() && folder_of_.size() >= max_watches_) {
        NoteLimit();
        return Added::Full;
    }
    const int wd = ::inotify_add_watch(inotify_.get(), ToUtf8(folder).c_str(), kWatchMask);
    if (wd < 0) {
        if (errno == ENOSPC) {
            NoteLimit();
            return Added::Full;
        }
        // Gone meanwhile, not readable, or a path past PATH_MAX: left unwatched, as a build
        // that cannot list a folder leaves it out.
        return Added::No;
    }
    if (known != watch_of_.end() && known->second != wd) {
        // The path names another folder now; the old one's watch, if it still has one, is stale.
        ::inotify_rm_watch(inotify_.get(), known->second);
        folder_of_.erase(known->second);
    }
    const auto [entry, made] = folder_of_.try_emplace(wd, folder);
    if (!made && entry->second != folder) {  // the same folder under a second path
        const auto other = watch_of_.find(entry->second);
        if (other != watch_of_.end() && other->second == wd) watch_of_.erase(other);
        entry->second = folder;
    }
    watch_of_[folder] = wd;
    return Added::Yes;
}

void InotifyChangeSource::WatchTree(const std::u16string& top) {
    std::vector<std::u16string> pending{top};
    DirLister lister;
    DirEntry entry;
    while (!pending.empty()) {
        const std::u16string folder = std::move(pending.back());
        pending.pop_back();
        const Added added = AddWatch(folder);
        if (added == Added::Full) return;  // every further watch would fail as well
        if (added == Added::No || !lister.Open(folder)) continue;
        while (lister.Next(entry)) {
            if (IsEnteredFolder(entry))
                pending.push_back(folder + std::u16string(entry.name) + u'/');
        }
        lister.Close();
    }
}

void InotifyChangeSource::Forget(int wd) {
    const auto found = folder_of_.find(wd);
    if (found == folder_of_.end()) return;
    const auto path = watch_of_.find(found->second);
    if (path != watch_of_.end() && path->second == wd) watch_of_.erase(path);
    folder_of_.erase(found);
}

void InotifyChangeSource::Unwatch(const std::u16string& top) {
    auto it = watch_of_.lower_bound(top);
    while (it != watch_of_.end() && StartsWith(it->first, top)) {
        ::inotify_rm_watch(inotify_.get(), it->second);
        folder_of_.erase(it->second);
        it = watch_of_.erase(it);
    }
}

size_t InotifyChangeSource::Rename(const std::u16string& from, const std::u16string& to) {
    std::vector<std::pair<std::u16string, int>> moved;
    auto it = watch_of_.lower_bound(from);
    while (it != watch_of_.end() && StartsWith(it->first, from)) {
        moved.emplace_back(to + it->first.substr(from.size()), it->second);
        it = watch_of_.erase(it);
    }
    for (const auto& [path, wd] : moved) {
        const auto replaced = watch_of_.find(path);
        if (replaced != watch_of_.end() && replaced->second != wd) {
            // An empty folder that the move replaced; its own watch ends with it.
            folder_of_.erase(replaced->second);
        }
        watch_of_[path] = wd;
        folder_of_[wd] = path;
    }
    return moved.size();
}

void InotifyChangeSource::NoteLimit() {
    if (limit_noted_) return;
    limit_noted_ = true;
    std::lock_guard<std::mutex> lock(notice_lock_);
    notice_ = WatchLimitText(root_);
}

void InotifyChangeSource::Wake() {
    if (!wake_.IsOpen()) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
}

std::u16string InotifyChangeSource::TakeNotice() {
    std::lock_guard<std::mutex> lock(notice_lock_);
    std::u16string notice;
    notice.swap(notice_);
    return notice;
}

void InotifyChangeSource::Close() {
    moving_ = false;
    folder_of_.clear();
    watch_of_.clear();
    wake_.Close();
    inotify_.Close();  // ends every watch with it
}

}  // namespace

std::unique_ptr<ChangeSource> MakeInotifyChangeSource(size_t max_watches) {
    return std::make_unique<InotifyChangeSource>(max_watches);
}

std::unique_ptr<ChangeSource> MakeSystemChangeSource() {
    return MakeInotifyChangeSource(std::numeric_limits<size_t>::max());
}

}  // namespace corvella::platform
