#include "cache/cache_replace.h"

#include <cstring>

#include "cache/cache_shared.h"

namespace corvella {

platform::MapStep ReplaceCacheFile(const std::u16string& cache_path, const uint8_t* bytes,
                                   uint32_t size, platform::FileProblem& problem) {
    // Holding the current file keeps every other opener out until the new one is in place.
    platform::ExclusiveFile current;
    if (platform::KindOf(cache_path) != platform::PathKind::Missing &&
        !current.OpenExisting(cache_path)) {
        problem = current.problem();
        return platform::MapStep::File;
    }
    const std::u16string fresh = cache_path + u".new";
    platform::MappedFile out;
    const platform::MapStep step = out.Create(fresh, size, /*delete_on_close=*/false);
    if (step != platform::MapStep::Done) {
        problem = out.problem();
        if (step != platform::MapStep::File) platform::RemoveFile(fresh);
        return step;
    }
    std::memcpy(out.data(), bytes, size);
    const bool flushed = out.Flush();
    const int flush_error = platform::LastSystemError();
    out.Close();
    if (!flushed || !platform::MoveIntoPlace(fresh, cache_path, current)) {
        problem = {fresh, platform::SystemErrorText(flushed ? platform::LastSystemError() : flush_error)};
        platform::RemoveFile(fresh);
        return platform::MapStep::File;
    }
    CCacheShared::Instance().BumpGeneration();
    return platform::MapStep::Done;
}

int MapStepNumber(platform::MapStep step) {
    switch (step) {
        case platform::MapStep::Mapping:
            return 1;
        case platform::MapStep::View:
            return 2;
        default:
            return 0;
    }
}

}  // namespace corvella
