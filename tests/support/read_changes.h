// Reading a change source in tests without waiting forever when the expected change never comes.
#pragma once

#include <algorithm>
#include <chrono>
#include <future>
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
    std::promise<void> finished;
    std::thread watchdog([&source, done = finished.get_future()] {
        if (done.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) source.Wake();
    });
    std::vector<std::u16string> seen;
    while (!std::all_of(wanted.begin(), wanted.end(),
                        [&](const std::u16string& w) { return Count(seen, w) > 0; })) {
        using Result = platform::ChangeSource::ReadResult;
        const Result result = source.Read(seen);  // appends
        if (result == Result::Woken || result == Result::Failed) break;
    }
    finished.set_value();
    watchdog.join();
    return seen;
}

}  // namespace corvella::test
