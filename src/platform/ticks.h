// Milliseconds of a steady clock, for elapsed times; 32 bits, so differences are taken unsigned.
#pragma once

#include <chrono>
#include <cstdint>

namespace corvella::platform {

inline uint32_t TickCountMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace corvella::platform
