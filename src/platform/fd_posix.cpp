#include "platform/fd_posix.h"

#include <sys/mman.h>
#include <unistd.h>

namespace corvella::platform {

bool Descriptor::Close() {
    if (fd_ < 0) return true;
    return ::close(Release()) == 0;
}

void MappedRegion::Close() {
    if (data_) ::munmap(std::exchange(data_, nullptr), std::exchange(size_, 0));
}

}  // namespace corvella::platform
