#include "os/name_lookup.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace tavi {
namespace {

// What the worker hands over. Shared by the worker and the wait, so that a worker that answers
// after the wait gave up still writes into something alive.
struct Handover {
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  bool ok = false;
  NetAddress address;
  Failure failure;
};

}  // namespace

HostLookup LookUpHost(std::string_view host, const PendingHook& hook, const Resolver& resolver) {
  HostLookup lookup;
  if (ParseNumericAddress(host, lookup.address)) {
    lookup.ok = true;
    lookup.numeric = true;
    return lookup;
  }
  const Resolver resolve = resolver ? resolver : Resolver(ResolveHost);
  const std::int64_t since = SteadyMs();
  auto handover = std::make_shared<Handover>();
  try {
    std::thread([handover, resolve, name = std::string(host)] {
      NetAddress address;
      Failure failure;
      const bool ok = resolve(name, address, failure);
      const std::lock_guard lock(handover->mutex);
      handover->ok = ok;
      handover->address = address;
      handover->failure = std::move(failure);
      handover->done = true;
      handover->answered.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: look the name up here and wait for it.
    lookup.ok = resolve(host, lookup.address, lookup.failure);
    lookup.elapsed_ms = SteadyMs() - since;
    return lookup;
  }
  std::unique_lock lock(handover->mutex);
  for (;;) {
    lock.unlock();
    const bool go_on = !hook || hook();
    lock.lock();
    if (!go_on) {
      lookup.elapsed_ms = SteadyMs() - since;
      lookup.failure = {0,
                        "the look-up of name '" + std::string(host) + "' was cancelled after " +
                            std::to_string(lookup.elapsed_ms) + " ms",
                        SystemCode::Winsock(wsa::kEintr)};
      return lookup;
    }
    if (handover->answered.wait_for(lock, kSocketWaitSlice, [&] { return handover->done; })) break;
  }
  lookup.elapsed_ms = SteadyMs() - since;
  lookup.ok = handover->ok;
  lookup.address = handover->address;
  lookup.failure = std::move(handover->failure);
  return lookup;
}

}  // namespace tavi
