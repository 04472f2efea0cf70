#include "results/save_results.h"

#include "platform/text.h"
#include "results/results_writer.h"

namespace corvella {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr size_t kChunkBytes = 64 * 1024;

const ResultRecord* RecordAt(const ResultSet& results, int row) {
    if (row < 0 || static_cast<size_t>(row) >= results.records.size()) return nullptr;
    return &results.records[static_cast<size_t>(row)];
}

SavedLineFields FieldsOf(const ResultSet& results, const ResultRecord& r) {
    return {results.Location(r), results.Name(r), r.size_kb, r.last_write};
}

}  // namespace

SaveOutcome WriteSavedResults(ResultSet* results, std::span<const int> rows,
                              std::u16string_view format, ExactEncoder ansi, ByteSink& out) {
    if (rows.empty()) return SaveOutcome::Saved;
    if (!results) return SaveOutcome::NoResults;
    results->Complete();

    // First pass: does every line convert exactly? Converting twice keeps the file streamed,
    // whatever the number of rows.
    std::string bytes;
    bool as_ansi = true;
    for (int row : rows) {
        const ResultRecord* r = RecordAt(*results, row);
        if (r && !ansi(FormatSavedLine(format, FieldsOf(*results, *r)), bytes)) {
            as_ansi = false;
            break;
        }
    }

    std::string chunk(as_ansi ? std::string_view() : kUtf8Bom);
    for (int row : rows) {
        const ResultRecord* r = RecordAt(*results, row);
        if (!r) continue;
        const std::u16string line = FormatSavedLine(format, FieldsOf(*results, *r));
        if (as_ansi)
            ansi(line, bytes);
        else
            bytes = ToUtf8(line);
        chunk += bytes;
        chunk += "\r\n";
        if (chunk.size() >= kChunkBytes) {
            if (!out.Write(chunk)) return SaveOutcome::WriteFailed;
            chunk.clear();
        }
    }
    if (!chunk.empty() && !out.Write(chunk)) return SaveOutcome::WriteFailed;
    return SaveOutcome::Saved;
}

}  // namespace corvella
