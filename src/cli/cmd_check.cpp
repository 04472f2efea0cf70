// corvella check: reads every block of the cache file and says what it holds or what is wrong.
#include <string>

#include "cache/cache_check.h"
#include "cli/cli.h"
#include "platform/file.h"
#include "platform/text.h"

namespace corvella {

namespace {

std::u16string Line(const char* label, uint64_t value) {
    return Widen(label) + Widen(std::to_string(value));
}

}  // namespace

int RunCheck(const CommandLine& cache, Console& console) {
    const LastBuild last = LastBuildOf(cache.cache_path, console);
    if (last == LastBuild::Building) return kExitError;
    platform::MappedFile file;
    switch (file.OpenExisting(cache.cache_path, platform::MappedFile::Access::ReadOnly)) {
        case platform::MapStep::Done:
            break;
        case platform::MapStep::File:
            if (!platform::FileExists(cache.cache_path)) {
                console.Err(u"corvella: there is no cache file at " + cache.cache_path +
                            u"; 'corvella index' builds one.");
            } else {
                console.Err(u"corvella: the cache file " + cache.cache_path +
                            u" cannot be opened; it may be used by another program.");
                console.Err(FileReasonLine(file.problem().path, file.problem().reason));
            }
            return kExitError;
        default:
            console.Err(u"corvella: the cache file " + cache.cache_path +
                        u" is empty or cannot be mapped; it is damaged and should be rebuilt.");
            console.Err(FileReasonLine(file.problem().path, file.problem().reason));
            return kExitNothing;
    }
    if (file.size() > kMaxCacheBytes) {
        console.Err(
            u"corvella: the cache file is larger than 4 GiB; it is damaged and should "
            u"be rebuilt.");
        return kExitNothing;
    }
    const CacheCheckReport report =
        CheckCache(CacheView{file.data(), static_cast<uint32_t>(file.size())});
    console.Out(u"cache file: " + cache.cache_path);
    console.Out(Line("drives: ", report.drives));
    console.Out(Line("folders: ", report.folders));
    console.Out(Line("files: ", report.files));
    console.Out(Line("total KiB: ", report.total_kib));
    console.Out(Line("bytes used: ", report.data_end));
    console.Out(Line("file size: ", file.size()));
    console.Out(Line("free blocks: ", report.free_blocks) + u" (" +
                Widen(std::to_string(report.free_bytes)) + u" bytes)");
    if (!report.ok) {
        console.Err(u"corvella: the cache file is damaged: " + Widen(report.fault) +
                    u". Rebuild it with 'corvella index'.");
        return kExitNothing;
    }
    // Well-formed, but holding only what the build had published when it was cut off.
    if (last == LastBuild::CutOff) {
        console.Err(std::u16string(kBuildCutOff) + u"; run `corvella index`.");
        return kExitNothing;
    }
    console.Out(u"The cache file is well-formed.");
    return kExitOk;
}

}  // namespace corvella
