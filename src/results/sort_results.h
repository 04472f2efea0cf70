// The five orders of a result set. Texts compare case-blind (the engine's fold), code unit by
// code unit; there is no direction toggle.
#pragma once

#include "results/result_set.h"

namespace corvella {

enum class SortKey {
    Name,      // name; then location
    Location,  // location; then name
    Size,      // larger first; then name, location
    Type,      // folders first; then extension, name, location
    Date,      // newest first; then name, location
};

// Records that tie on every key keep their order.
void SortResults(ResultSet& results, SortKey key);

// The extension the Type order uses: from the last '.' to the end, dot included; the whole name
// when it has no dot.
std::u16string_view TypeKey(std::u16string_view name);

}  // namespace corvella
