// Posted work. The tasks do not travel in the messages: a message lost with its window (the
// system discards the queued messages of a destroyed window) would leak the task it carried.
// They wait instead in one table, a queue per window, under one lock; the message only says
// "run what is queued". So every task is either run or destroyed by DropPosts.
//
// A window is in the table from AcceptPosts to DropPosts, both on its own thread (at its
// creation and at WM_NCDESTROY). Post queues only for a window in the table, so a post that
// races with the destruction either lands before DropPosts, which destroys it, or finds no queue
// and is refused. A window handle can be reused by a later window; the later window is only
// posted to if it is one of ours and has accepted posts itself.
//
// RunPosted takes one task at a time off the front and runs it outside the lock. A task that
// enters a message loop (a message box) lets later messages run the following tasks inside it;
// they still start in order. Tasks are destroyed outside the lock too, since what they hold may
// post again when it goes.
#include "ui/post.h"

#include <deque>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

namespace corvella::ui {

namespace {

struct PostTable {
    std::mutex lock;
    std::unordered_map<HWND, std::deque<std::function<void()>>> queues;
};

PostTable& Table() {
    // Never destroyed: a worker may still post while the process ends.
    static PostTable* table = new PostTable;
    return *table;
}

std::optional<std::function<void()>> TakeFront(HWND window) {
    PostTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.queues.find(window);
    if (found == table.queues.end() || found->second.empty()) return std::nullopt;
    std::function<void()> task = std::move(found->second.front());
    found->second.pop_front();
    return task;
}

}  // namespace

UINT PostedMessage() {
    static const UINT message = RegisterWindowMessageW(L"Corvella.RunPosted");
    return message;
}

bool Post(HWND window, std::function<void()> task) {
    PostTable& table = Table();
    {
        std::lock_guard<std::mutex> guard(table.lock);
        auto found = table.queues.find(window);
        if (found == table.queues.end()) return false;  // `task` goes after the lock is released
        found->second.push_back(std::move(task));
    }
    // A failure here leaves the task queued: either the window is going, and DropPosts takes
    // it, or its message queue is full, and the next message for it runs it.
    PostMessageW(window, PostedMessage(), 0, 0);
    return true;
}

void AcceptPosts(HWND window) {
    PostTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.queues.try_emplace(window);
}

void DropPosts(HWND window) {
    std::deque<std::function<void()>> dropped;
    PostTable& table = Table();
    {
        std::lock_guard<std::mutex> guard(table.lock);
        auto found = table.queues.find(window);
        if (found == table.queues.end()) return;
        dropped = std::move(found->second);
        table.queues.erase(found);
    }
}

void RunPosted(HWND window) {
    while (std::optional<std::function<void()>> task = TakeFront(window)) {
        if (*task) (*task)();
    }
}

}  // namespace corvella::ui
