// Putting a new cache file in place of the old one without ever leaving a torn or missing file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"

namespace corvella {

// Writes `size` bytes into a new file beside the cache (the cache path + ".new") and renames it
// over the cache, holding the current file all the while so that no other opener gets in between.
// Returns the step that failed: File when the current file is held elsewhere or the new one
// cannot be created, flushed or renamed; Mapping (a disk that cannot hold it, too) or View for
// its mapping. On failure `problem` names the file and the reason, the old cache is untouched
// and no ".new" file is left behind.
platform::MapStep ReplaceCacheFile(const std::u16string& cache_path, const uint8_t* bytes,
                                   uint32_t size, platform::FileProblem& problem);

// The digit a message of the form "... - 00N" carries for a failed step.
int MapStepNumber(platform::MapStep step);

}  // namespace corvella
