// A name look-up that Cancel can end: the resolver runs on a worker thread of its own while the
// caller waits for it in short slices and asks its message-pending hook between them, as every
// socket call does.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "core/failure/failure.h"
#include "os/socket.h"

namespace tavi {

// What looks a name up (ResolveHost unless a test stands in). It runs on the worker thread and
// may outlive the wait that started it, so it must own everything it uses.
using Resolver = std::function<bool(std::string_view host, NetAddress& out, Failure& failure)>;

struct HostLookup {
  bool ok = false;
  NetAddress address;
  // Why it failed: the resolver's failure, or WSAEINTR with "the look-up of name 'x' was
  // cancelled after N ms" when the hook ended the wait.
  Failure failure;
  std::int64_t elapsed_ms = 0;  // how long the look-up took, or was waited for
  bool numeric = false;         // the host was an address: nothing was looked up
};

// A numeric address (ParseNumericAddress) at once, on this thread. Otherwise the resolver runs on
// a worker thread while this one waits in slices of at most kSocketWaitSlice, calling `hook`
// before each; a hook that returns false ends the wait at once. An answer that comes after the
// wait ended is dropped.
[[nodiscard]] HostLookup LookUpHost(std::string_view host, const PendingHook& hook,
                                    const Resolver& resolver = {});

}  // namespace tavi
