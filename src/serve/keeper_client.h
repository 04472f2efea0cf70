// The client's side: `corvella search` asks the keeper of its cache first.
#pragma once

#include <optional>

#include "serve/protocol.h"
#include "serve/search_request.h"

namespace corvella {

// The keeper's whole answer to `request`, or nothing when no keeper answered it whole (none
// listens, it declined, it went away or sent what is not an answer): the caller then walks the
// file and prints what the walk says, having printed nothing yet. Set CORVELLA_NO_KEEPER=1 to
// ask no keeper.
std::optional<serve::SearchAnswer> AskKeeper(const SearchRequest& request);

}  // namespace corvella
