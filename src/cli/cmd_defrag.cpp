// corvella defrag: rewrites the cache file compactly, as the desktop program's menu command does.
#include <cstdio>

#include "cache/defragmenter.h"
#include "cli/cli.h"
#include "platform/file.h"
#include "platform/keeper_lock.h"
#include "platform/text.h"
#include "platform/ticks.h"
#include "results/results_writer.h"

namespace corvella {

int RunDefrag(const CommandLine& command, Console& console) {
    if (!HaveCacheFile(command.cache_path, console)) return kExitError;
    // Held while the copy runs, as a build holds it: the state file says unended meanwhile, and
    // a search must wait for this copy rather than take the cache for a cut-off build.
    platform::KeeperLock copying;
    copying.Acquire(command.cache_path);
    ConsoleErrors errors(console);
    CCacheDefragmenter defragmenter(errors, command.cache_path);
    const uint32_t start = platform::TickCountMs();
    if (defragmenter.Defragment() != 0 || !defragmenter.replaced()) return kExitError;
    const uint32_t elapsed_ms = platform::TickCountMs() - start;

    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " bytes in %.2fs", elapsed_ms / 1000.0);
    console.Err(u"corvella: defragmented " + command.cache_path + u": " +
                FormatThousands(defragmenter.source_bytes()) + u" -> " +
                FormatThousands(defragmenter.write_offset()) + Widen(seconds));
    if (defragmenter.faults() != 0) {
        console.Err(u"corvella: the cache file was damaged in " +
                    FormatThousands(defragmenter.faults()) +
                    u" places; what could be read was kept. 'corvella index' rebuilds it whole.");
    }
    return kExitOk;
}

}  // namespace corvella
