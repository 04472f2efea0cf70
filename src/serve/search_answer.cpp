#include "serve/search_answer.h"

#include <new>

#include "cache/cache_shared.h"
#include "cli/cli.h"
#include "platform/text.h"
#include "results/results_writer.h"
#include "results/sort_results.h"

namespace corvella {

int PrintAnswer(const SearchRequest& request, EngineAnswer& answer, Console& console) {
    const SearchCriteria& criteria = request.criteria;
    if (answer.outcome == QueryOutcome::Failed) return kExitError;
    // The window warns and searches everything; a script cannot see a warning, and results from
    // everywhere would pass for results from the location it named.
    if (answer.outcome == QueryOutcome::NoSuchLocation) {
        console.Err(u"corvella: The search location is invalid!! '" + criteria.location +
                    u"' is not in the cache.");
        return kExitError;
    }
    if (answer.damaged)
        console.Err(
            u"corvella: the cache file is damaged, so these results may be incomplete; "
            u"rebuild it with 'corvella index'.");
    if (request.count_only) {
        console.Out(FormatThousands(answer.matches) + u" items found (" +
                    FormatThousands(answer.total_size_kb) + u"KB)");
    } else {
        ResultSet& results = *answer.results;
        try {
            results.Complete();
        } catch (const std::bad_alloc&) {
            results.Clear();
            console.Err(kOutOfMemory);
            return kExitError;
        }
        if (request.sort) SortResults(results, *request.sort);
        for (const ResultRecord& r : results.records)
            console.Out(FormatResultLine(request.format, results.Location(r), results.Name(r)));
    }
    return answer.matches == 0 ? kExitNothing : kExitOk;
}

void PlayBack(const std::vector<serve::AnswerLine>& lines, Console& console) {
    for (const serve::AnswerLine& line : lines) {
        if (line.to_stderr)
            console.Err(line.text);
        else
            console.Out(line.text);
    }
}

serve::Bytes AnswerRequestBody(const serve::Bytes& body, const std::u16string& cache_path,
                               SearchEngine& engine) {
    const std::optional<SearchRequest> request = serve::DecodeRequest(body.data(), body.size());
    if (!request) return {};
    serve::SearchAnswer answer;
    if (request->cache_path != cache_path) {
        answer.status = serve::AnswerStatus::Declined;
        return serve::EncodeAnswer(answer);
    }
    RecordingConsole recorded;
    {
        std::lock_guard lock(CCacheShared::Instance().SearchLock());
        EngineAnswer found = engine.Run(request->criteria, request->count_only);
        answer.generation = found.generation;
        answer.exit_code = uint8_t(PrintAnswer(*request, found, recorded));
    }
    if (recorded.overflow())
        answer.status = serve::AnswerStatus::Declined;
    else
        answer.lines = std::move(recorded.lines);
    serve::Bytes bytes = serve::EncodeAnswer(answer);
    return bytes.size() <= serve::kMostAnswerBytes
               ? bytes
               : serve::EncodeAnswer({serve::AnswerStatus::Declined, answer.generation, 0, {}});
}

}  // namespace corvella
