#include "core/connection/lpd_client.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/doubles.h"
#include "support/fake_servers.h"
#include "support/peers.h"

namespace tavi {
namespace {

using test::FakeTcpServer;
using test::ReadBytes;
using test::ReadLine;
using test::WriteBytes;

constexpr char kHost[] = "127.0.0.24";

std::span<const std::byte> Bytes(std::string_view text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

// An LPD server that records what it was sent and answers each step with the scripted reply:
// "" = close the connection instead of answering.
struct ScriptedLpd {
  std::string job_reply = std::string(1, '\0');
  std::string file_reply = std::string(1, '\0');
  std::string end_reply = std::string(1, '\0');
  std::string received;  // everything read, in order (read it after Stop)

  void Serve(int fd) {
    const std::string command = ReadLine(fd);
    received += command;
    if (command.empty() || job_reply.empty() || !WriteBytes(fd, job_reply)) return;
    for (;;) {
      const std::string sub = ReadLine(fd);
      received += sub;
      if (sub.size() < 4 || file_reply.empty() || !WriteBytes(fd, file_reply)) return;
      const std::size_t length = std::stoul(sub.substr(1));
      received += ReadBytes(fd, length + 1);  // the data and the end-of-data byte
      if (end_reply.empty() || !WriteBytes(fd, end_reply)) return;
    }
  }
};

std::string FileBytes(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

TEST(LpdClientTest, JobAndDataFilesGoOutAsTheProtocolSays) {
  ScriptedLpd lpd;
  FakeTcpServer server(kHost, 21001, [&](int fd) { lpd.Serve(fd); });
  ASSERT_TRUE(server.ok());
  const std::string data = FileBytes(1234);
  {
    LpdClient client(21001);
    ASSERT_EQ(client.StartJob(kHost, "lp1"), 0);
    EXPECT_EQ(client.SendDataFile(Bytes(data)), 0);
    EXPECT_EQ(client.SendDataFile({}), 0);  // a zero-length write is still a data file
    EXPECT_EQ(client.SendDataFile(Bytes(std::string(1, '\0'))), 0);
    EXPECT_EQ(client.LastErrorText(), "");
    EXPECT_EQ(client.host(), kHost);
  }
  server.Stop();
  const std::string expected = std::string("\x02lp1\n") +
                               "\x03"
                               "1234 x\n" +
                               data + std::string(1, '\0') +
                               "\x03"
                               "0 x\n" +
                               std::string(1, '\0') +
                               "\x03"
                               "1 x\n" +
                               std::string(2, '\0');
  EXPECT_EQ(lpd.received, expected);
  EXPECT_EQ(server.connections(), 1);
}

TEST(LpdClientTest, RefusalAtEachStep) {
  const std::string refused = "\x01";
  struct Case {
    const char* what;
    ScriptedLpd lpd;
    bool job_ok;
    std::int32_t file_result;
    std::string line;
  };
  std::vector<Case> cases = {
      {"job answered 01", {refused, "", "", {}}, false, -1, "lpd: communication error\r\n"},
      {"closed after the job command", {"", "", "", {}}, false, -1, "lpd: communication error\r\n"},
      {"subcommand answered 01",
       {std::string(1, '\0'), refused, "", {}},
       true,
       -1,
       "lpd: communication error\r\n"},
      {"closed after the subcommand",
       {std::string(1, '\0'), "", "", {}},
       true,
       -1,
       "lpd: communication error\r\n"},
      {"end of data answered 01",
       {std::string(1, '\0'), std::string(1, '\0'), refused, {}},
       true,
       -1,
       "lpd: communication error\r\n"},
      // A printer that closes instead of acknowledging the end of data has taken the file.
      {"closed after the end of data",
       {std::string(1, '\0'), std::string(1, '\0'), "", {}},
       true,
       0,
       ""},
  };
  std::uint16_t port = 21010;
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeTcpServer server(kHost, ++port, [&](int fd) { c.lpd.Serve(fd); });
    ASSERT_TRUE(server.ok());
    LpdClient client(port);
    const std::int32_t job = client.StartJob(kHost, "lp1");
    EXPECT_EQ(job, c.job_ok ? 0 : -1);
    if (job == 0) {
      EXPECT_EQ(client.SendDataFile(Bytes("PING")), c.file_result);
    }
    EXPECT_EQ(client.LastErrorText(), c.line);
  }
}

TEST(LpdClientTest, ConnectAndNameFailuresNameTheError) {
  LpdClient refused(21030);  // nobody listens there
  EXPECT_EQ(refused.StartJob(kHost, "lp1"), -1);
  EXPECT_EQ(refused.LastErrorText(), "Connect: WSAECONNREFUSED\r\n");

  LpdClient unknown(21030);
  EXPECT_EQ(unknown.StartJob("no..such.host", "lp1"), -1);
  EXPECT_EQ(unknown.LastErrorText(), "gethostbyname: WSAHOST_NOT_FOUND\r\n");

  // Writing on a client whose job never started fails as a send.
  EXPECT_EQ(refused.SendDataFile(Bytes("x")), -1);
  EXPECT_EQ(refused.LastErrorText(), "Connect: WSAECONNREFUSED\r\nsend: WSAENOTSOCK\r\n");
}

TEST(LpdClientTest, CancelWhileWaitingForAnAcknowledgement) {
  // A server that reads the command and then says nothing.
  FakeTcpServer server(kHost, 21031, [](int fd) { ReadBytes(fd, 1 << 20); });
  ASSERT_TRUE(server.ok());
  test::RecordingProgress progress;
  progress.Show(true);
  progress.on_pump = [&] {
    if (progress.pumps >= 5) progress.PressCancel();
  };
  LpdClient client(21031);
  client.SetCancelSource(&progress);
  EXPECT_EQ(client.StartJob(kHost, "lp1"), -1);
  EXPECT_EQ(client.LastErrorText(), "recv: WSAEINTR\r\n");
  EXPECT_EQ(progress.pumps, 5);
}

TEST(LpdClientTest, CancelWhileConnecting) {
  test::FullListener listener("127.0.0.26", 21032);
  if (!listener.ok()) GTEST_SKIP() << "could not fill a listen queue to make a connect wait";
  test::RecordingProgress progress;
  progress.Show(true);
  progress.on_pump = [&] {
    if (progress.pumps >= 3) progress.PressCancel();
  };
  LpdClient client(21032);
  client.SetCancelSource(&progress);
  EXPECT_EQ(client.StartJob("127.0.0.26", "lp1"), -1);
  EXPECT_EQ(client.LastErrorText(), "Connect: WSAEINTR\r\n");
}

TEST(LpdClientTest, LastErrorTextStopsAt255Characters) {
  LpdClient client(21033);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(client.StartJob("no..such.host", "lp1"), -1);
  const std::string_view text = client.LastErrorText();
  EXPECT_EQ(text.size(), 255u);
  // Whole lines while they fit, then the part of the last one that still fitted.
  const std::string line = "gethostbyname: WSAHOST_NOT_FOUND\r\n";
  EXPECT_EQ(text.substr(0, 7 * line.size()), [&] {
    std::string seven;
    for (int i = 0; i < 7; ++i) seven += line;
    return seven;
  }());
  EXPECT_EQ(text.substr(7 * line.size()), line.substr(0, 255 - 7 * line.size()));
  std::array<char, 10> small{};
  EXPECT_EQ(client.CopyLastErrorText(small), 10u);
  EXPECT_STREQ(small.data(), "gethostby");
}

// Each test has its own server on its own port, so the tests can run in parallel.
class LprngTest : public ::testing::Test {
 protected:
  bool StartServer(std::uint16_t port) {
    peer_ = std::make_unique<test::LprngPeer>("127.0.0.25", port);
    return peer_->Start(why_);
  }
  void TearDown() override {
    if (peer_) peer_->Stop();
  }
  std::unique_ptr<test::LprngPeer> peer_;
  std::string why_;
};

TEST_F(LprngTest, RealServerTakesAJobOfSeveralDataFiles) {
  if (!StartServer(21041)) GTEST_SKIP() << "LPRng cannot run here: " << why_;
  const std::string big = FileBytes(300000);
  {
    LpdClient client(21041);
    ASSERT_EQ(client.StartJob("127.0.0.25", "lp1"), 0) << client.LastErrorText();
    EXPECT_EQ(client.SendDataFile(Bytes("OPEN CODE=abc")), 0) << client.LastErrorText();
    EXPECT_EQ(client.SendDataFile(Bytes(big)), 0) << client.LastErrorText();
  }
  // Same-named files replace each other in its spool: the last one is there, whole.
  int files = 0;
  std::string spooled;
  for (int i = 0; i < 100 && spooled.size() != big.size(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    spooled = peer_->SpooledData(&files);
  }
  EXPECT_EQ(files, 1);
  EXPECT_TRUE(spooled == big) << "spooled " << spooled.size() << " bytes";
}

TEST_F(LprngTest, RealServerRefusesAnUnknownQueue) {
  if (!StartServer(21042)) GTEST_SKIP() << "LPRng cannot run here: " << why_;
  LpdClient client(21042);
  EXPECT_EQ(client.StartJob("127.0.0.25", "nosuchqueue"), -1);
  EXPECT_EQ(client.LastErrorText(), "lpd: communication error\r\n");
}

}  // namespace
}  // namespace tavi
