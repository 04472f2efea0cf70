#include "serve/search_answer.h"

#include "cli/cli.h"
#include "platform/text.h"
#include "results/results_writer.h"
#include "results/sort_results.h"

namespace corvella {

int AnswerSearch(const SearchRequest& request, Console& console) {
    const SearchCriteria& criteria = request.criteria;
    ConsoleErrors errors(console);
    CQueryer queryer(errors, request.cache_path);
    queryer.SetCountOnly(request.count_only);
    queryer.SetWalkThreads(request.threads);
    BuildFilterChain(queryer, criteria);
    const QueryOutcome outcome =
        RunQueryLocked(queryer, QueryPattern(criteria.pattern), criteria.location);
    queryer.ClearFilters();
    if (outcome == QueryOutcome::Failed) return kExitError;
    // The window warns and searches everything; a script cannot see a warning, and results from
    // everywhere would pass for results from the location it named.
    if (outcome == QueryOutcome::NoSuchLocation) {
        console.Err(u"corvella: The search location is invalid!! '" + criteria.location +
                    u"' is not in the cache.");
        return kExitError;
    }
    if (queryer.damaged())
        console.Err(
            u"corvella: the cache file is damaged, so these results may be incomplete; "
            u"rebuild it with 'corvella index'.");

    ResultSet& results = queryer.results();
    if (request.count_only) {
        console.Out(FormatThousands(queryer.match_count()) + u" items found (" +
                    FormatThousands(queryer.total_size_kb()) + u"KB)");
    } else {
        if (request.sort) SortResults(results, *request.sort);
        for (const ResultRecord& r : results.records)
            console.Out(FormatResultLine(request.format, results.Location(r), results.Name(r)));
    }
    return queryer.match_count() == 0 ? kExitNothing : kExitOk;
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
                               const std::atomic<uint64_t>& generation, std::mutex& answering) {
    const std::optional<SearchRequest> request = serve::DecodeRequest(body.data(), body.size());
    if (!request) return {};
    serve::SearchAnswer answer;
    if (request->cache_path != cache_path) {
        answer.status = serve::AnswerStatus::Declined;
        return serve::EncodeAnswer(answer);
    }
    std::lock_guard lock(answering);
    answer.generation = generation.load();
    RecordingConsole recorded;
    answer.exit_code = uint8_t(AnswerSearch(*request, recorded));
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
