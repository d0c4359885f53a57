// The look-up that Cancel can end, with a resolver that stands in for a name server: one that
// hangs until the test lets it go, and one that answers.
#include "os/name_lookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "os/error_names.h"

namespace tavi {
namespace {

using namespace std::chrono_literals;

// A name server that answers only when released; it owns nothing of the test's stack, as a
// resolver that may outlive the wait must.
struct HangingServer {
  std::mutex mutex;
  std::condition_variable released_cv;
  bool released = false;
  std::atomic<bool> answered{false};

  void Release() {
    const std::lock_guard lock(mutex);
    released = true;
    released_cv.notify_all();
  }
};

Resolver HangingResolver(const std::shared_ptr<HangingServer>& server) {
  return [server](std::string_view, NetAddress& out, Failure&) {
    std::unique_lock lock(server->mutex);
    server->released_cv.wait(lock, [&] { return server->released; });
    out = NetAddress(Ipv4{0x0100007F});
    server->answered = true;
    return true;
  };
}

TEST(NameLookupTest, CancelEndsAHangingLookUpWithinASliceAndTheLateAnswerIsDropped) {
  auto server = std::make_shared<HangingServer>();
  int asked = 0;
  std::chrono::steady_clock::time_point cancelled_at;
  // Cancel is pressed after about 200 ms of waiting.
  const auto start = std::chrono::steady_clock::now();
  const PendingHook hook = [&] {
    ++asked;
    if (std::chrono::steady_clock::now() - start < 200ms) return true;
    if (cancelled_at == std::chrono::steady_clock::time_point{}) {
      cancelled_at = std::chrono::steady_clock::now();
    }
    return false;
  };
  const HostLookup lookup = LookUpHost("printer.example", hook, HangingResolver(server));
  const auto ended = std::chrono::steady_clock::now();

  EXPECT_FALSE(lookup.ok);
  EXPECT_FALSE(lookup.numeric);
  EXPECT_EQ(ErrorName(lookup.failure.code), "WSAEINTR");
  EXPECT_TRUE(lookup.failure.details.starts_with(
      "the look-up of name 'printer.example' was cancelled after "))
      << lookup.failure.details;
  EXPECT_GE(lookup.elapsed_ms, 200);
  EXPECT_LT(ended - cancelled_at, 50ms);  // the hook's false ends the wait at once
  EXPECT_LT(ended - start, 1000ms);
  // Asked between slices of at most 20 ms: about ten times in 200 ms, never once per hang.
  EXPECT_GE(asked, 3);
  EXPECT_LE(asked, 15);

  // The name server answers long after: its answer lands in the worker's own handover.
  EXPECT_FALSE(server->answered);
  server->Release();
  for (int i = 0; i < 500 && !server->answered; ++i) std::this_thread::sleep_for(2ms);
  EXPECT_TRUE(server->answered);
}

TEST(NameLookupTest, AnAnswerIsTakenAndAnAddressIsNeverLookedUp) {
  int resolved = 0;
  std::string asked_for;
  const Resolver answering = [&](std::string_view host, NetAddress& out, Failure&) {
    ++resolved;
    asked_for = std::string(host);
    return ParseIpv6Address("2001:db8::7", out);
  };
  const HostLookup named = LookUpHost(
      "printer7", [] { return true; }, answering);
  EXPECT_TRUE(named.ok);
  EXPECT_EQ(FormatAddress(named.address), "2001:db8::7");
  EXPECT_EQ(asked_for, "printer7");
  EXPECT_EQ(resolved, 1);

  const Resolver failing = [](std::string_view host, NetAddress&, Failure& failure) {
    failure = ResolveFailure(host, wsa::kTryAgain);
    return false;
  };
  const HostLookup failed = LookUpHost("printer8", {}, failing);
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(ErrorName(failed.failure.code), "WSATRY_AGAIN");

  // Addresses of both families are taken as they stand, even with Cancel already pressed.
  for (const char* text : {"127.0.102.9", "[2001:db8::7]", "::1"}) {
    const HostLookup numeric = LookUpHost(
        text, [] { return false; }, answering);
    EXPECT_TRUE(numeric.ok) << text;
    EXPECT_TRUE(numeric.numeric) << text;
  }
  EXPECT_EQ(resolved, 1);
}

}  // namespace
}  // namespace tavi
