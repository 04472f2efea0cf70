// Reading a change source in tests without waiting forever when the expected change never comes.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/change_source.h"

namespace corvella::test {

inline size_t Count(const std::vector<std::u16string>& folders, const std::u16string& folder) {
    return static_cast<size_t>(std::count(folders.begin(), folders.end(), folder));
}

// Reads until every folder of `wanted` has been reported, or 5 s have passed (a watchdog then
// wakes the read); returns everything reported.
inline std::vector<std::u16string> ReadUntil(platform::ChangeSource& source,
                                             const std::vector<std::u16string>& wanted) {
    std::vector<std::u16string> seen;
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> held(lock);
        if (!finished.wait_for(held, std::chrono::seconds(5), [&] { return done; })) source.Wake();
    });
    const auto all_seen = [&] {
        return std::all_of(wanted.begin(), wanted.end(),
                           [&](const std::u16string& w) { return Count(seen, w) > 0; });
    };
    while (!all_seen()) {
        std::vector<std::u16string> batch;
        const platform::ChangeSource::ReadResult result = source.Read(batch);
        if (result == platform::ChangeSource::ReadResult::Woken ||
            result == platform::ChangeSource::ReadResult::Failed)
            break;
        seen.insert(seen.end(), batch.begin(), batch.end());
    }
    {
        std::lock_guard<std::mutex> held(lock);
        done = true;
    }
    finished.notify_one();
    watchdog.join();
    return seen;
}

}  // namespace corvella::test
