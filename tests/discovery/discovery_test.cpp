// Discovery's rules without a network: targets, which datagrams count as answers (hostile ones
// change nothing and memory stays bounded), and the sweep's pacing, resends and end, run in
// virtual time against the virtual printer's own SNMP agent.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/discovery/answers.h"
#include "core/discovery/discover.h"
#include "core/discovery/sweep.h"
#include "core/discovery/targets.h"
#include "core/resources/constants.h"
#include "frontends/printer_sim/printer_model.h"
#include "frontends/printer_sim/snmp_agent.h"
#include "frontends/printer_sim/snmp_ber.h"
#include "os/datagram.h"
#include "support/doubles.h"

namespace tavi::discovery {
namespace {

constexpr std::uint16_t kPort = 161;
constexpr std::uint32_t kIdBase = 0x1000;

std::uint32_t Addr(const char* text) {
  std::uint32_t a = 0;
  EXPECT_TRUE(ParseDottedQuad(text, a)) << text;
  return a;
}

std::span<const std::byte> Bytes(const std::string& s) {
  return std::as_bytes(std::span(s.data(), s.size()));
}

// A device that answers as the virtual printer does, with the options given.
class Device {
 public:
  explicit Device(sim::SimOptions options = {})
      : model_(std::move(options), clock_), agent_(model_) {}
  std::string Answer(std::span<const std::byte> request) {
    bool restart = false;
    return agent_.Answer(
        std::string_view(reinterpret_cast<const char*>(request.data()), request.size()), restart);
  }

 private:
  test::FakeClock clock_;
  sim::PrinterModel model_;
  sim::SnmpAgent agent_;
};

sim::SimOptions OtherMaker() {
  sim::SimOptions o;
  o.sys_object_id = ".1.3.6.1.4.1.99999.3";
  o.sys_descr = "another maker's device";
  return o;
}

TEST(DiscoveryTargets, AddressesRangesAndBlocksAreReadStrictly) {
  struct Case {
    const char* text;
    std::size_t count;  // 0: refused
    const char* first;
    const char* last;
  };
  const Case cases[] = {
      {"127.0.0.210", 1, "127.0.0.210", "127.0.0.210"},
      {"127.0.0.210-229", 20, "127.0.0.210", "127.0.0.229"},
      {"127.0.3.0/24", 254, "127.0.3.1", "127.0.3.254"},
      {"127.0.3.77/24", 254, "127.0.3.1", "127.0.3.254"},  // host bits ignored
      {"10.0.0.0/22", 1022, "10.0.0.1", "10.0.3.254"},
      {"10.0.0.4/31", 2, "10.0.0.4", "10.0.0.5"},
      {"10.0.0.4/32", 1, "10.0.0.4", "10.0.0.4"},
      {"10.0.0.0/21", 0, "", ""},  // 2,048 addresses
      {"10.0.0.9-5", 0, "", ""},
      {"10.0.0.9-256", 0, "", ""},
      {"1.2.3", 0, "", ""},
      {"1.2.3.256", 0, "", ""},
      {"1.2.3.4.5", 0, "", ""},
      {"01.2.3.4x", 0, "", ""},
      {"no..such.host", 0, "", ""},
      {"224.0.0.1", 0, "", ""},
      {"255.255.255.255", 0, "", ""},
      {"0.0.0.0", 0, "", ""},
      {"1.2.3.4-5/24", 0, "", ""},
      {"", 0, "", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::uint32_t> out;
    std::string error;
    const bool ok = ParseTarget(c.text, out, error);
    EXPECT_EQ(ok, c.count > 0) << c.text;
    if (!ok) {
      EXPECT_NE(error.find(c.text), std::string::npos) << error;
      continue;
    }
    ASSERT_EQ(out.size(), c.count) << c.text;
    EXPECT_EQ(AddressText(out.front()), c.first);
    EXPECT_EQ(AddressText(out.back()), c.last);
  }
  std::vector<std::uint32_t> all;
  std::string error;
  const std::vector<std::string> texts = {"10.0.0.9", "10.0.0.1-3", "10.0.0.2"};
  ASSERT_TRUE(ParseTargets(texts, all, error));
  EXPECT_EQ(all, (std::vector<std::uint32_t>{Addr("10.0.0.1"), Addr("10.0.0.2"), Addr("10.0.0.3"),
                                             Addr("10.0.0.9")}));
  std::vector<std::string> too_many(17, "10.0.0.0/22");
  for (std::size_t i = 0; i < too_many.size(); ++i) {
    too_many[i] = "10.0." + std::to_string(4 * i) + ".0/22";
  }
  EXPECT_FALSE(ParseTargets(too_many, all, error));
}

TEST(DiscoveryFamily, TheEnterpriseNumberDecides) {
  EXPECT_TRUE(IsFamilyObjectId(".1.3.6.1.4.1.7405"));
  EXPECT_TRUE(IsFamilyObjectId(".1.3.6.1.4.1.7405.1.2"));
  EXPECT_FALSE(IsFamilyObjectId(".1.3.6.1.4.1.74050.1"));
  EXPECT_FALSE(IsFamilyObjectId(".1.3.6.1.4.1.8072.3.2.10"));
  EXPECT_EQ(FamilyNameOf(".1.3.6.1.4.1.7405.1.1"), "Type1");
  EXPECT_EQ(FamilyNameOf(".1.3.6.1.4.1.7405.1.2.5"), "Type2");
  EXPECT_EQ(FamilyNameOf(".1.3.6.1.4.1.7405.1.3"), "");
  EXPECT_EQ(FamilyNameOf(".1.3.6.1.4.1.7405.2.1"), "");
}

// The request of index `i` as sent.
std::string RequestOf(const AnswerMatcher& m, std::size_t i) {
  std::string out(1500, '\0');
  const std::int32_t n = m.BuildDatagram(i, std::as_writable_bytes(std::span(out)));
  EXPECT_GT(n, 0);
  out.resize(static_cast<std::size_t>(std::max(n, 0)));
  return out;
}

// `response` with `edit` applied to its decoded form.
std::string Edited(const std::string& response,
                   const std::function<void(sim::SnmpMessage&)>& edit) {
  sim::SnmpMessage m;
  std::string why;
  EXPECT_TRUE(sim::ParseSnmpMessage(response, m, why)) << why;
  edit(m);
  return sim::EncodeSnmpMessage(m);
}

TEST(DiscoveryAnswers, HostileDatagramsChangeNothingAndMemoryStaysBounded) {
  AnswerMatcher m(kIdBase, kPort);
  const std::uint32_t asked = Addr("10.1.0.5");
  m.AddRequest(asked, false);
  m.requests()[0].sends = 1;
  Device printer;
  const std::string good = printer.Answer(Bytes(RequestOf(m, 0)));
  ASSERT_FALSE(good.empty());

  std::string huge_descr(1300, 'D');
  const std::vector<std::pair<std::string, std::string>> hostile = {
      {"wrong request id", Edited(good, [](auto& r) { r.request_id.back() ^= 0x55; })},
      {"a GetRequest", Edited(good, [](auto& r) { r.pdu_type = sim::kPduGet; })},
      {"another community", Edited(good, [](auto& r) { r.community = "XXXXXX"; })},
      {"SNMPv2c", Edited(good, [](auto& r) { r.version = 1; })},
      {"a binding too many", Edited(good, [](auto& r) { r.bindings.push_back(r.bindings[0]); })},
      {"a binding too few", Edited(good, [](auto& r) { r.bindings.pop_back(); })},
      {"bindings swapped", Edited(good, [](auto& r) { std::swap(r.bindings[0], r.bindings[2]); })},
      {"trailing octet", good + std::string(1, '\0')},
  };
  for (const auto& [what, datagram] : hostile) {
    EXPECT_NE(m.Accept(asked, kPort, Bytes(datagram)), Verdict::kNewHost) << what;
  }
  EXPECT_EQ(m.Accept(asked + 1, kPort, Bytes(good)), Verdict::kUnaskedAddress);
  EXPECT_EQ(m.Accept(asked, kPort + 1, Bytes(good)), Verdict::kWrongPort);
  EXPECT_EQ(m.Accept(asked, kPort, Bytes(good), /*truncated=*/true), Verdict::kUndecodable);
  // Every cut of a good answer is undecodable, whatever its lengths then point at.
  for (std::size_t n = 0; n < good.size(); ++n) {
    ASSERT_EQ(m.Accept(asked, kPort, Bytes(good.substr(0, n))), Verdict::kUndecodable) << n;
  }
  // A length that points past the datagram.
  std::string overlong = good;
  overlong[1] = static_cast<char>(0x84);
  EXPECT_EQ(m.Accept(asked, kPort, Bytes(overlong)), Verdict::kUndecodable);
  EXPECT_EQ(m.host_count(), 0u);
  EXPECT_FALSE(m.requests()[0].answered);

  // The good answer, with a sysDescr far past the standard's length and control characters.
  const std::string big =
      Edited(good, [&](auto& r) { r.bindings[0].value = huge_descr + "\t\x01"; });
  EXPECT_EQ(m.Accept(asked, kPort, Bytes(big)), Verdict::kNewHost);
  EXPECT_EQ(m.Accept(asked, kPort, Bytes(good)), Verdict::kDuplicate);
  const auto hosts = m.Hosts();
  ASSERT_EQ(hosts.size(), 1u);
  EXPECT_EQ(hosts[0].sys_descr, std::string(kMaxTextLength, 'D'));
  EXPECT_EQ(hosts[0].sys_name, "tavi-printer-sim");
  EXPECT_EQ(hosts[0].sys_object_id, ".1.3.6.1.4.1.7405.1.2");
  EXPECT_TRUE(hosts[0].family && hosts[0].answers_reply_object);
  EXPECT_EQ(hosts[0].family_name, "Type2");

  // A broadcast request takes any address, but never more than kMaxHosts hosts.
  AnswerMatcher b(kIdBase, kPort);
  b.AddRequest(Addr("10.1.255.255"), true);
  b.requests()[0].sends = 1;
  const std::string to_all = Device().Answer(Bytes(RequestOf(b, 0)));
  std::size_t refused = 0;
  for (std::uint32_t i = 0; i < kMaxHosts + 500; ++i) {
    const Verdict v = b.Accept(Addr("10.2.0.0") + i, kPort, Bytes(to_all));
    refused += v == Verdict::kTooManyHosts ? 1 : 0;
  }
  EXPECT_EQ(b.host_count(), kMaxHosts);
  EXPECT_EQ(refused, 500u);
  EXPECT_EQ(b.requests().size(), 1u);  // no follow-ups were made for them
}

TEST(DiscoveryAnswers, ADeviceWithoutTheFamilysObjectIsAskedAgainForItsSystemObjects) {
  AnswerMatcher m(kIdBase, kPort);
  const std::uint32_t asked = Addr("10.1.0.6");
  m.AddRequest(asked, false);
  m.requests()[0].sends = 1;
  Device other(OtherMaker());
  const std::string no_such_name = other.Answer(Bytes(RequestOf(m, 0)));
  EXPECT_EQ(m.Accept(asked, kPort, Bytes(no_such_name)), Verdict::kFollowUp);
  ASSERT_EQ(m.requests().size(), 2u);
  EXPECT_EQ(m.requests()[1].kind, RequestKind::kSystemOnly);
  EXPECT_EQ(m.requests()[1].address, asked);
  // The first request's answer again, or the follow-up's before it was sent, is nothing new.
  EXPECT_EQ(m.Accept(asked, kPort, Bytes(no_such_name)), Verdict::kDuplicate);
  const std::string system = other.Answer(Bytes(RequestOf(m, 1)));
  EXPECT_EQ(m.Accept(asked, kPort, Bytes(system)), Verdict::kUnknownRequest);
  m.requests()[1].sends = 1;
  EXPECT_EQ(m.Accept(asked, kPort, Bytes(system)), Verdict::kNewHost);
  const auto hosts = m.Hosts();
  ASSERT_EQ(hosts.size(), 1u);
  EXPECT_FALSE(hosts[0].family);
  EXPECT_FALSE(hosts[0].answers_reply_object);
  EXPECT_EQ(hosts[0].sys_descr, "another maker's device");
  EXPECT_EQ(KindText(hosts[0]), "other");
}

// A network in virtual time: every send goes to a responder, whose answers arrive after their
// delay; a receive that finds nothing due moves the clock on by its whole wait.
class VirtualNetwork final : public DatagramEndpoint {
 public:
  struct Sent {
    std::int64_t at;
    std::uint32_t to;
  };
  struct Delivery {
    std::int64_t delay_ms;
    std::uint32_t from;
    std::string datagram;
  };
  using Responder =
      std::function<std::vector<Delivery>(std::uint32_t to, std::span<const std::byte> request)>;

  VirtualNetwork(test::FakeClock& clock, Responder responder)
      : clock_(clock), responder_(std::move(responder)) {}

  bool SendTo(std::uint32_t address, std::uint16_t port,
              std::span<const std::byte> datagram) override {
    EXPECT_EQ(port, kPort);
    sent.push_back({clock_.now_ms, address});
    for (Delivery& d : responder_(address, datagram)) {
      queue_.push_back({clock_.now_ms + d.delay_ms, d.from, std::move(d.datagram)});
    }
    std::stable_sort(queue_.begin(), queue_.end(),
                     [](const Queued& a, const Queued& b) { return a.at < b.at; });
    return true;
  }

  ReceivedDatagram ReceiveFrom(std::span<std::byte> buffer, int wait_ms) override {
    EXPECT_GE(wait_ms, 0);
    EXPECT_LE(wait_ms, kSweepSliceMs);
    ReceivedDatagram out;
    if (queue_.empty() || queue_.front().at > clock_.now_ms + wait_ms) {
      clock_.now_ms += wait_ms;
      return out;
    }
    Queued q = std::move(queue_.front());
    queue_.pop_front();
    clock_.now_ms = std::max(clock_.now_ms, q.at);
    out.kind = ReceivedDatagram::Kind::kDatagram;
    out.from = q.from;
    out.from_port = kPort;
    out.truncated = q.datagram.size() > buffer.size();
    out.length = std::min(q.datagram.size(), buffer.size());
    std::copy_n(reinterpret_cast<const std::byte*>(q.datagram.data()), out.length, buffer.data());
    return out;
  }

  std::vector<Sent> sent;

 private:
  struct Queued {
    std::int64_t at;
    std::uint32_t from;
    std::string datagram;
  };
  test::FakeClock& clock_;
  Responder responder_;
  std::deque<Queued> queue_;
};

std::vector<std::int64_t> SendTimes(const VirtualNetwork& net, std::uint32_t to) {
  std::vector<std::int64_t> out;
  for (const auto& s : net.sent) {
    if (s.to == to) out.push_back(s.at);
  }
  return out;
}

TEST(DiscoverySweep, PacedResentToTheSilentAndEndedByTheQuiet) {
  test::FakeClock clock;
  const std::uint32_t first = Addr("10.3.0.1");
  const std::uint32_t prompt = first + 2;        // answers at once
  const std::uint32_t second_only = first + 40;  // answers only its second send
  const std::uint32_t twice = first + 41;        // answers every send twice
  const std::uint32_t other = first + 42;        // another maker's device
  const std::uint32_t late = first + 299;        // beyond the first wave of sends
  Device printer;
  Device other_device(OtherMaker());
  std::map<std::uint32_t, int> received;
  VirtualNetwork net(clock, [&](std::uint32_t to, std::span<const std::byte> request) {
    const int n = ++received[to];
    std::vector<VirtualNetwork::Delivery> out;
    if (to == prompt || to == late || (to == second_only && n == 2)) {
      out.push_back({3, to, printer.Answer(request)});
    } else if (to == twice) {
      out.push_back({5, to, printer.Answer(request)});
      out.push_back({6, to, printer.Answer(request)});
    } else if (to == other) {
      out.push_back({4, to, other_device.Answer(request)});
      out.push_back({4, to + 1000, printer.Answer(request)});  // from an address not asked
    }
    return out;
  });
  SweepPlan plan;
  for (std::uint32_t i = 0; i < 300; ++i) plan.unicast.push_back(first + i);
  plan.port = kPort;
  plan.request_id_base = kIdBase;
  test::RecordingProgress progress;
  const SweepResult r = RunSweep(plan, net, clock, &progress);

  ASSERT_EQ(r.hosts.size(), 5u);
  EXPECT_EQ(Listed(r.hosts, false).size(), 4u);
  const std::vector<std::uint32_t> expected = {prompt, second_only, twice, other, late};
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(r.hosts[i].address, expected[i]);
  EXPECT_FALSE(r.hosts[3].family);
  EXPECT_EQ(r.hosts[3].sys_descr, "another maker's device");

  // The first wave is exactly as wide as the in-flight bound; the rest waits for room.
  const auto first_wave =
      std::count_if(net.sent.begin(), net.sent.end(), [](const auto& s) { return s.at == 0; });
  EXPECT_EQ(static_cast<std::size_t>(first_wave), kMaxInFlight);
  EXPECT_GT(SendTimes(net, late).front(), 0);
  // Silent targets get three sends 250 ms apart; answered ones no more than they needed.
  EXPECT_EQ(SendTimes(net, first), (std::vector<std::int64_t>{0, 250, 500}));
  EXPECT_EQ(SendTimes(net, prompt).size(), 1u);
  EXPECT_EQ(SendTimes(net, second_only), (std::vector<std::int64_t>{0, 250}));
  EXPECT_EQ(SendTimes(net, twice).size(), 1u);
  EXPECT_EQ(SendTimes(net, other).size(), 2u);  // the first request, then the follow-up
  // Never more than the bound in flight: at each send, count the targets that still hold room
  // (answered ones free it when their answer arrives; `other` holds it until its follow-up's).
  std::map<std::uint32_t, std::int64_t> answered_at = {
      {prompt, SendTimes(net, prompt).front() + 3},
      {late, SendTimes(net, late).front() + 3},
      {twice, SendTimes(net, twice).front() + 5},
      {second_only, SendTimes(net, second_only).back() + 3},
      {other, SendTimes(net, other).back() + 4}};
  for (const auto& s : net.sent) {
    std::size_t holding = 0;
    for (std::uint32_t t = first; t < first + 300; ++t) {
      const auto times = SendTimes(net, t);
      const bool started = !times.empty() && times.front() <= s.at;
      const bool answered_before = answered_at.contains(t) && answered_at[t] <= s.at;
      const bool freed = times.size() == 3 && times.back() + kResendIntervalMs <= s.at;
      holding += started && !answered_before && !freed ? 1 : 0;
    }
    ASSERT_LE(holding, kMaxInFlight) << "at " << s.at;
  }
  // The end: 2 s after the last send, as nothing new came after it.
  std::int64_t last_send = 0;
  for (const auto& s : net.sent) last_send = std::max(last_send, s.at);
  EXPECT_EQ(r.elapsed_ms, last_send + kQuietEndMs);
  EXPECT_FALSE(r.cancelled || r.timed_out);
  // The second copy of `twice`, and the unasked address once for each request to `other`.
  EXPECT_EQ(r.ignored, 3u);
  EXPECT_FALSE(progress.positions.empty());
  EXPECT_TRUE(std::is_sorted(progress.positions.begin(), progress.positions.end()));
}

TEST(DiscoverySweep, EndsAtOnceWhenAllAnsweredAtTheTimeoutOrOnCancel) {
  Device printer;
  const auto answer_all = [&](std::uint32_t to, std::span<const std::byte> request) {
    return std::vector<VirtualNetwork::Delivery>{{2, to, printer.Answer(request)}};
  };
  const auto silent = [](std::uint32_t, std::span<const std::byte>) {
    return std::vector<VirtualNetwork::Delivery>{};
  };
  SweepPlan plan;
  plan.unicast = {Addr("10.4.0.1"), Addr("10.4.0.2")};
  plan.port = kPort;
  {
    test::FakeClock clock;
    VirtualNetwork net(clock, answer_all);
    const SweepResult r = RunSweep(plan, net, clock, nullptr);
    EXPECT_EQ(r.hosts.size(), 2u);
    EXPECT_LE(r.elapsed_ms, 2);
  }
  {
    test::FakeClock clock;
    VirtualNetwork net(clock, silent);
    plan.timeout_ms = 400;
    const SweepResult r = RunSweep(plan, net, clock, nullptr);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.elapsed_ms, 400);
    EXPECT_EQ(net.sent.size(), 4u);  // sends at 0 and 250; the 500 ms ones never came
  }
  {
    test::FakeClock clock;
    VirtualNetwork net(clock, silent);
    plan.timeout_ms = 0;
    test::RecordingProgress progress;
    progress.Show(true);
    progress.on_pump = [&] {
      if (clock.now_ms >= 300) progress.PressCancel();
    };
    const SweepResult r = RunSweep(plan, net, clock, &progress);
    EXPECT_TRUE(r.cancelled);
    EXPECT_LE(r.elapsed_ms, 300 + kSweepSliceMs);
  }
  {
    // A broadcast is sent three times whatever answers, and every answerer is taken once.
    test::FakeClock clock;
    const std::uint32_t all = Addr("10.5.255.255");
    Device other_device(OtherMaker());
    VirtualNetwork net(clock, [&](std::uint32_t to, std::span<const std::byte> request) {
      std::vector<VirtualNetwork::Delivery> out;
      if (to == all) {
        out.push_back({1, Addr("10.5.0.9"), printer.Answer(request)});
        out.push_back({2, Addr("10.5.0.3"), printer.Answer(request)});
        out.push_back({2, Addr("10.5.0.4"), other_device.Answer(request)});
      } else if (to == Addr("10.5.0.4")) {
        out.push_back({2, to, other_device.Answer(request)});
      }
      return out;
    });
    SweepPlan b;
    b.broadcast = {all};
    b.port = kPort;
    const SweepResult r = RunSweep(b, net, clock, nullptr);
    EXPECT_EQ(SendTimes(net, all), (std::vector<std::int64_t>{0, 250, 500}));
    ASSERT_EQ(r.hosts.size(), 3u);
    EXPECT_EQ(AddressText(r.hosts[0].address), "10.5.0.3");
    EXPECT_EQ(AddressText(r.hosts[1].address), "10.5.0.4");
    EXPECT_EQ(r.hosts[1].sys_descr, "another maker's device");
    EXPECT_EQ(AddressText(r.hosts[2].address), "10.5.0.9");
    EXPECT_EQ(Listed(r.hosts, false).size(), 2u);
  }
}

TEST(DiscoverySweep, AsksInTheCommunityGivenAndTakesNoAnswerInAnother) {
  // The longest community taken still fits a request for all four objects.
  const std::string community(kMaxCommunityLength, 'k');
  sim::SimOptions in_ours;
  in_ours.community = community;
  Device ours(in_ours);
  Device in_public;  // answers only "public"
  const std::uint32_t ours_at = Addr("10.6.0.1");
  const std::uint32_t public_at = Addr("10.6.0.2");
  test::FakeClock clock;
  std::map<std::uint32_t, int> asked;
  VirtualNetwork net(clock, [&](std::uint32_t to, std::span<const std::byte> request) {
    ++asked[to];
    Device& device = to == ours_at ? ours : in_public;
    std::vector<VirtualNetwork::Delivery> out;
    const std::string answer = device.Answer(request);
    if (!answer.empty()) out.push_back({2, to, answer});
    return out;
  });
  SweepPlan plan;
  plan.unicast = {ours_at, public_at};
  plan.port = kPort;
  plan.community = community;
  const SweepResult r = RunSweep(plan, net, clock, nullptr);
  ASSERT_EQ(r.hosts.size(), 1u);
  EXPECT_EQ(r.hosts[0].address, ours_at);
  EXPECT_TRUE(r.hosts[0].family);
  EXPECT_EQ(asked[ours_at], 1);
  EXPECT_EQ(asked[public_at], kSendsPerRequest);  // silent in our community

  // An answer that carries the right request id in another community is not ours.
  AnswerMatcher m(kIdBase, kPort, "s3cret");
  m.AddRequest(public_at, false);
  m.requests()[0].sends = 1;
  sim::SimOptions in_secret;
  in_secret.community = "s3cret";
  Device secret(in_secret);
  const std::string answer = secret.Answer(Bytes(RequestOf(m, 0)));
  ASSERT_FALSE(answer.empty());
  const std::string forged =
      Edited(answer, [](sim::SnmpMessage& message) { message.community = "public"; });
  EXPECT_EQ(m.Accept(public_at, kPort, Bytes(forged)), Verdict::kNotOurs);
  EXPECT_EQ(m.Accept(public_at, kPort, Bytes(answer)), Verdict::kNewHost);
}

}  // namespace
}  // namespace tavi::discovery
