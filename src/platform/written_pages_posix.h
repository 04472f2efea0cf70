// Writing back what a private view of a file has changed (see written_pages_posix.cpp).
#pragma once

#include <cstdint>

#include "platform/fd_posix.h"

namespace corvella::platform {

// This process's page map, or a closed descriptor where the system keeps none that it may read.
Descriptor OpenPageMap();

// Writes every page of the private view [data, data + size) that this process has written since
// it was mapped to the same offset of `fd`, the last page cut at `size`. `data` is where mmap
// placed the view. False, with errno set, when the page map could not be read or the file not
// written.
bool WriteWrittenPages(int page_map, int fd, const uint8_t* data, uint64_t size);

}  // namespace corvella::platform
