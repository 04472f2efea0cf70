#include "cache/cache_shared.h"

#include "platform/drives.h"
#include "platform/profile.h"

namespace corvella {

CCacheShared& CCacheShared::Instance() {
    static CCacheShared shared;
    return shared;
}

std::u16string CachePathFromSettings(const std::u16string& data_folder,
                                     const std::u16string& settings_path) {
    const std::u16string name =
        platform::ReadIniString(settings_path, u"CACHEFILE", u"filepath", u"default.db");
    return data_folder + platform::kPathSeparator + name;
}

std::u16string StatePathFor(const std::u16string& cache_path) {
    const size_t cut = cache_path.find_last_of(u"/\\");
    if (cut == std::u16string::npos) return u"stateinfo.ini";
    return cache_path.substr(0, cut + 1) + u"stateinfo.ini";
}

}  // namespace corvella
