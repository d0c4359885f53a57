// What tavi-cli writes cannot be turned against the user: another user's link planted in a
// shared sticky folder is not followed (trace, report, backup, settings), a trace never takes the
// place of the command's own files, and a report's control bytes are shown, not obeyed, on a
// terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "cli_runner.h"
#include "core/settings/settings_store.h"
#include "core/ui/terminal_text.h"
#include "frontends/printer_sim/virtual_printer.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::Quote;
using test::ReadAll;
using test::RunCli;
using test::TempDir;
using test::WriteAll;

// A report that tries to retitle the window, clear the screen and fill the clipboard.
const std::string kHostileReport =
    "Status OK\x1b]0;pwned\x07\x1b[2J\x1b]52;c;ZXZpbA==\x07 end\xc2\x9b"
    "31m\r\nnext\tline\n";

struct Printer {
  explicit Printer(const char* address) : address(address) {
    sim::VirtualPrinterConfig config;
    config.address = address;
    config.options.report = kHostileReport;
    printer = std::make_unique<sim::VirtualPrinter>(config);
    std::string error;
    started = printer->Start(error);
    EXPECT_TRUE(started) << error;
  }
  ~Printer() { printer->Stop(); }
  std::string Options(const TempDir& dir) const {
    WriteAll(dir / "empty.ini", "");
    return "-q --settings " + Quote(dir / "empty.ini") + " --port network --host " + address +
           " --type " + std::to_string(printer->model().Options().family) + " --lpd-port " +
           std::to_string(printer->lpd_port()) + " --snmp-port " +
           std::to_string(printer->snmp_port()) + " --timeout 20 ";
  }
  std::string address;
  std::unique_ptr<sim::VirtualPrinter> printer;
  bool started = false;
};

uid_t NobodyUid() {
  const passwd* entry = ::getpwnam("nobody");
  return entry != nullptr ? entry->pw_uid : 65534;
}

// A link at `link` to `target`, owned by `owner`.
void Plant(const std::string& target, const std::string& link, uid_t owner) {
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
  ASSERT_EQ(::lchown(link.c_str(), owner, static_cast<gid_t>(-1)), 0) << link;
}

TEST(CliFileSafety, LinksPlantedInAStickyFolderAreRefusedOwnLinksFollowed) {
  if (test::CliIsWindows()) GTEST_SKIP() << "Windows follows links as the system does";
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  Printer p("127.0.41.7");
  ASSERT_TRUE(p.started);
  TempDir dir;
  const uid_t nobody = NobodyUid();
  const std::string sticky = dir / "sticky";
  fs::create_directory(sticky);
  ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
  const std::string precious = "precious bytes\n";
  for (const char* name : {"trace", "report", "backup", "ini"}) {
    WriteAll(dir / (std::string("victim-") + name), precious);
    Plant(dir / (std::string("victim-") + name), sticky + "/" + name, nobody);
  }
  Plant(dir / "made-by-link", sticky + "/dangling", nobody);

  const std::string options = p.Options(dir);
  struct Case {
    std::string args;
    int status;
    std::string path;
  };
  const Case cases[] = {
      {"--trace " + Quote(sticky + "/trace") + " report -o " + Quote(dir / "out.txt"), 2,
       sticky + "/trace"},
      {"report -o " + Quote(sticky + "/report"), 1, sticky + "/report"},
      {"get-params " + Quote(sticky + "/backup"), 1, sticky + "/backup"},
      {"get-params " + Quote(sticky + "/dangling"), 1, sticky + "/dangling"},
      {"--trace " + Quote(sticky + "/dangling") + " report -o " + Quote(dir / "out.txt"), 2,
       sticky + "/dangling"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli(dir, options + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find("Could not "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.path + " belongs to another user (uid " + std::to_string(nobody) +
                           ") and sits in the sticky folder " + sticky),
              std::string::npos)
        << run.err;
  }
  // The window's settings save takes the same way.
  PortSettings settings;
  settings.hosts = {"127.0.41.7"};
  FileError error;
  EXPECT_FALSE(SaveSettings(sticky + "/ini", settings, error));
  EXPECT_NE(error.cause.find("belongs to another user"), std::string::npos) << error.cause;

  for (const char* name : {"trace", "report", "backup", "ini"}) {
    EXPECT_EQ(ReadAll(dir / (std::string("victim-") + name)), precious) << name;
  }
  EXPECT_FALSE(fs::exists(dir / "made-by-link"));
  EXPECT_FALSE(fs::exists(dir / "out.txt"));  // a refused trace sends nothing to the printer

  // The user's own link in the same folder is followed, and so is a link of the folder's owner.
  Plant(dir / "mine.txt", sticky + "/mine", ::geteuid());
  const std::string shared = dir / "nobodys";
  fs::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(::chown(shared.c_str(), nobody, static_cast<gid_t>(-1)), 0);
  Plant(dir / "owners-trace.txt", shared + "/trace", nobody);
  const CliRun own = RunCli(dir, options + "--trace " + Quote(shared + "/trace") + " report -o " +
                                     Quote(sticky + "/mine"));
  ASSERT_EQ(own.status, 0) << own.err;
  EXPECT_EQ(ReadAll(dir / "mine.txt"), kHostileReport);  // a file: the bytes unchanged
  EXPECT_TRUE(fs::is_symlink(sticky + "/mine"));
  EXPECT_NE(ReadAll(dir / "owners-trace.txt").find("GET REPORT"), std::string::npos);
}

TEST(CliFileSafety, ATraceNamingTheCommandsOwnFileIsRefusedBeforeItIsTouched) {
  TempDir dir;
  const std::string prm = dir / "precious.prm";
  const std::string content(300, '\x5a');
  WriteAll(prm, content);
  WriteAll(dir / "empty.ini", "");
  const std::string host = "--settings " + Quote(dir / "empty.ini") + " --port network --host " +
                           "127.0.41.8 --timeout 5 ";
  std::vector<std::string> runs = {
      host + "--trace " + Quote(prm) + " put-params " + Quote(prm),
      "params decode " + Quote(prm) + " -o " + Quote(dir / "block.bin") + " --trace " + Quote(prm),
  };
  // Another name of the same file is the same file.
  if (!test::CliIsWindows()) {
    fs::create_symlink(prm, dir / "alias.prm");
    runs.push_back("--trace " + Quote(dir / "alias.prm") + " params decode " + Quote(prm) + " -o " +
                   Quote(dir / "block.bin"));
  }
  for (const std::string& args : runs) {
    const CliRun run = RunCli(dir, args);
    EXPECT_EQ(run.status, 2) << args << "\n" << run.err;
    EXPECT_NE(run.err.find("the trace needs a file of its own"), std::string::npos) << run.err;
    EXPECT_EQ(ReadAll(prm), content) << args;
  }
  EXPECT_FALSE(fs::exists(dir / "block.bin"));
}

TEST(CliFileSafety, ControlBytesAreMadeVisible) {
  EXPECT_EQ(MakeControlsVisible(kHostileReport),
            "Status OK^[]0;pwned^G^[[2J^[]52;c;ZXZpbA==^G end\\x9b31m\r\nnext\tline\n");
  // A lone carriage return, DEL, NUL, a lone C1 byte; UTF-8 text and other bytes stay.
  EXPECT_EQ(MakeControlsVisible(std::string("a\rb\x7f\0c\x9b\xc3\xa9\xe2\x82\xac\xff", 13)),
            "a^Mb^?^@c\\x9b\xc3\xa9\xe2\x82\xac\xff");
}

// Runs `command` through the shell with standard output on a new terminal; returns what the
// terminal received.
std::string RunOnTerminal(const std::string& command) {
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string received;
  if (pid < 0) return received;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the program and its terminal are gone
    received.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return received;
}

TEST(CliFileSafety, AReportOnATerminalShowsControlBytesRedirectedKeepsThem) {
  if (test::CliIsWindows()) GTEST_SKIP() << "no terminal device under Wine";
  Printer p("127.0.41.9");
  ASSERT_TRUE(p.started);
  TempDir dir;
  const std::string args = p.Options(dir) + "report";
  const std::string shown =
      RunOnTerminal(test::CliCommand() + " " + args + " 2>" + Quote(dir / "err.txt"));
  EXPECT_NE(shown.find("Status OK^[]0;pwned^G^[[2J^[]52;c;ZXZpbA==^G end\\x9b31m"),
            std::string::npos)
      << shown;
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);
  EXPECT_EQ(shown.find('\x07'), std::string::npos);

  const CliRun redirected = RunCli(dir, args);
  ASSERT_EQ(redirected.status, 0) << redirected.err;
  EXPECT_EQ(redirected.out, kHostileReport);
}

}  // namespace
}  // namespace tavi
