// The client's side: `corvella search` asks the keeper of its cache first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "serve/protocol.h"
#include "serve/search_request.h"

namespace corvella {

// The keeper's whole answer to `request`, or nothing when no keeper answered it whole (none
// listens, it declined, it went away or sent what is not an answer): the caller then walks the
// file and prints what the walk says, having printed nothing yet. Set CORVELLA_NO_KEEPER=1 to
// ask no keeper.
std::optional<serve::SearchAnswer> AskKeeper(const SearchRequest& request);

// The client's waits, in ms: a keeper takes a connection at once; its answer may take a long walk.
inline constexpr unsigned kKeeperConnectMs = 300;
inline constexpr unsigned kKeeperWriteMs = 2000;
inline constexpr unsigned kKeeperReadMs = 15000;

// A connection to the keeper of one cache, every transfer bounded in time: a Unix socket, or a
// named pipe to the desktop program (keeper_client_posix.cpp, keeper_client_win.cpp).
class KeeperLine {
  public:
    virtual ~KeeperLine() = default;
    virtual bool Send(const uint8_t* data, size_t size) = 0;
    virtual bool Receive(uint8_t* data, size_t size) = 0;
};
// The line to the keeper of `cache_path`, or nothing when none listens.
std::unique_ptr<KeeperLine> OpenKeeperLine(const std::u16string& cache_path);

}  // namespace corvella
