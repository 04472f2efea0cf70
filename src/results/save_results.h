// The saved-results file: one line per row in the user's format, each ended by CR LF.
//
// The file is in the system's ANSI code page, which every program of the system reads, as long
// as every line converts exactly. A single name the code page cannot hold (Greek on a Western
// system, say) would come out as "?" and make its path useless, so then the whole file is UTF-8
// with a byte-order mark instead, which Notepad and spreadsheets recognise. The choice is made
// for the whole file because a reader decides the encoding once, at its start.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "results/result_set.h"

namespace corvella {

// Where the bytes go; false when they could not be written.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual bool Write(std::string_view bytes) = 0;
};

// Converts a line to the file's single-byte form; false when it cannot do so exactly.
using ExactEncoder = bool (*)(std::u16string_view text, std::string& bytes);

enum class SaveOutcome {
    Saved,
    NoResults,    // rows were asked for but the list shows no records: nothing written
    WriteFailed,  // the sink refused bytes; what it took so far stays
};

// Writes the records of `rows` (indexes into `results`, in the order given; an index past the
// records is skipped) through `out`, first writing the records a pending listing left unwritten.
// The caller holds the results lock meanwhile. Throws std::bad_alloc.
SaveOutcome WriteSavedResults(ResultSet* results, std::span<const int> rows,
                              std::u16string_view format, ExactEncoder ansi, ByteSink& out);

}  // namespace corvella
