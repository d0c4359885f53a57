// Every way a save can meet its target, one row each: the save runs in a child process (as the
// unprivileged user "nobody" where the row says so, on a full file system in a mount namespace
// of its own for the full-disk row), and the row then checks the outcome and the kind, owner,
// mode, link count and bytes of every file of the folder afterwards.
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "os/file_io.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

void Put(const fs::path& path, const std::string& text, mode_t mode = 0644, uid_t uid = 0,
         gid_t gid = 0) {
  std::ofstream(path, std::ios::binary) << text;
  if (::chmod(path.c_str(), mode) != 0 || ::chown(path.c_str(), uid, gid) != 0) std::abort();
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// One line per entry under `root`, sorted: "name file 644 0:0 n1 "bytes"", "name -> target",
// "name fifo", "name folder", ...
std::string Describe(const fs::path& root) {
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path& p = it->path();
    struct stat info {};
    if (::lstat(p.c_str(), &info) != 0) std::abort();
    std::string line = p.lexically_relative(root).string() + " ";
    char mode[32];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(info.st_mode & 07777));
    if (S_ISLNK(info.st_mode)) {
      line += "-> " + fs::read_symlink(p).string();
    } else if (S_ISREG(info.st_mode)) {
      std::string bytes = Read(p);
      if (bytes.size() > 32) bytes = std::to_string(bytes.size()) + " bytes";
      line += std::string("file ") + mode + " " + std::to_string(info.st_uid) + ":" +
              std::to_string(info.st_gid) + " n" + std::to_string(info.st_nlink) + " \"" + bytes +
              "\"";
    } else if (S_ISDIR(info.st_mode)) {
      line += "folder";
    } else if (S_ISFIFO(info.st_mode)) {
      line += "fifo";
    } else if (S_ISCHR(info.st_mode)) {
      line += "chardev " + std::to_string(major(info.st_rdev)) + "," +
              std::to_string(minor(info.st_rdev));
    } else if (S_ISSOCK(info.st_mode)) {
      line += "socket";
    }
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

struct SaveCase {
  const char* name;
  // Makes the files, in the folder `d` (run in the child, as root, before the save).
  std::function<void(const fs::path& d)> setup;
  const char* target;  // relative to the folder
  bool as_nobody = false;
  bool full_disk = false;  // the folder is a 64 KiB tmpfs; the save is 200,000 bytes
  bool saved = true;
  std::string cause;  // a part of the error text when not saved
  std::string after;  // Describe() of the folder afterwards
};

// What the child sends back: "1" or "0", the error text, then the folder's description.
std::string RunInChild(const SaveCase& c, const fs::path& dir, std::string& skipped) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child < 0) return "fork failed";
  if (child == 0) {
    ::close(pipe_fds[0]);
    std::string report;
    auto finish = [&](const std::string& text) {
      (void)!::write(pipe_fds[1], text.data(), text.size());
      ::_exit(0);
    };
    ::umask(022);
    if (c.full_disk) {
      if (::unshare(CLONE_NEWNS) != 0 ||
          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          ::mount("tavi-full", dir.c_str(), "tmpfs", 0, "size=64k") != 0) {
        finish(std::string("skip: no private tmpfs: ") + std::strerror(errno));
      }
    }
    c.setup(dir);
    if (c.as_nobody &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      finish(std::string("skip: cannot become nobody: ") + std::strerror(errno));
    }
    const std::string content = c.full_disk ? std::string(200000, 'n') : "new";
    FileError error;
    const bool ok =
        WriteFileAtomically((dir / c.target).string(), std::as_bytes(std::span(content)), error);
    report = std::string(ok ? "1" : "0") + "\n" + (ok ? "" : FileErrorText(error)) + "\n";
    report += Describe(dir);
    if (c.full_disk) (void)::umount(dir.c_str());
    finish(report);
  }
  ::close(pipe_fds[1]);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, n);
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (out.starts_with("skip: ")) skipped = out;
  return out;
}

TEST(FileSaveTest, EveryKindOfTargetKeepsEveryFileIntact) {
  ASSERT_EQ(::geteuid(), 0u) << "the owner and device rows need root";
  const auto link = [](const char* target, const char* name) {
    return [=](const fs::path& d) { fs::create_symlink(target, d / name); };
  };
  const std::vector<SaveCase> cases = {
      {"new file", [](const fs::path&) {}, "out", false, false, true, "",
       "out file 644 0:0 n1 \"new\"\n"},
      {"other owner: kept; setuid dropped",
       [](const fs::path& d) { Put(d / "out", "old", 04750, 1000, 1001); }, "out", false, false,
       true, "", "out file 750 1000:1001 n1 \"new\"\n"},
      {"link: written through, in the folder of the file it names",
       [&](const fs::path& d) {
         fs::create_directory(d / "sub");
         Put(d / "sub" / "real", "old", 0600);
         link("sub/real", "link")(d);
       },
       "link", false, false, true, "",
       "link -> sub/real\nsub folder\nsub/real file 600 0:0 n1 \"new\"\n"},
      {"dangling link: the file it names is created",
       [&](const fs::path& d) {
         fs::create_directory(d / "sub");
         link("sub/missing", "link")(d);
       },
       "link", false, false, true, "",
       "link -> sub/missing\nsub folder\nsub/missing file 644 0:0 n1 \"new\"\n"},
      {"hard link: refused",
       [](const fs::path& d) {
         Put(d / "a", "old");
         fs::create_hard_link(d / "a", d / "b");
       },
       "a", false, false, false, "It has 2 hard links",
       "a file 644 0:0 n2 \"old\"\nb file 644 0:0 n2 \"old\"\n"},
      {"device: refused",
       [](const fs::path& d) {
         if (::mknod((d / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) std::abort();
       },
       "null", false, false, false, "Not a regular file (a character device)",
       "null chardev 1,3\n"},
      {"link to a device: refused",
       [&](const fs::path& d) {
         if (::mknod((d / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) std::abort();
         link("null", "stdout")(d);
       },
       "stdout", false, false, false, "(a character device)", "null chardev 1,3\nstdout -> null\n"},
      {"FIFO: refused",
       [](const fs::path& d) {
         if (::mkfifo((d / "fifo").c_str(), 0644) != 0) std::abort();
       },
       "fifo", false, false, false, "(a FIFO)", "fifo fifo\n"},
      {"socket: refused",
       [](const fs::path& d) {
         const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un a{};
         a.sun_family = AF_UNIX;
         std::snprintf(a.sun_path, sizeof a.sun_path, "%s", (d / "sock").c_str());
         if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) std::abort();
         ::close(s);
       },
       "sock", false, false, false, "(a socket)", "sock socket\n"},
      {"folder: refused",
       [](const fs::path& d) {
         fs::create_directory(d / "dir");
         Put(d / "dir" / "keep", "keep");
       },
       "dir", false, false, false, "(a folder)", "dir folder\ndir/keep file 644 0:0 n1 \"keep\"\n"},
      {"read-only file, even for root: refused",
       [](const fs::path& d) { Put(d / "out", "old", 0444); }, "out", false, false, false,
       "The file is read-only", "out file 444 0:0 n1 \"old\"\n"},
      {"writable file in a folder the user cannot write: refused, the folder named",
       [](const fs::path& d) {
         Put(d / "out", "old", 0644, kNobody, kNobody);
         ::chmod(d.c_str(), 0755);
       },
       "out", true, false, false, "No new file can be made in the folder",
       "out file 644 65534:65534 n1 \"old\"\n"},
      {"another user's writable file: its owner cannot be kept, refused",
       [](const fs::path& d) {
         Put(d / "out", "old", 0666);
         ::chmod(d.c_str(), 0777);
       },
       "out", true, false, false, "Its owner, group or permissions could not be kept",
       "out file 666 0:0 n1 \"old\"\n"},
      {"a file the user may not write: refused",
       [](const fs::path& d) {
         Put(d / "out", "old", 0644);
         ::chmod(d.c_str(), 0777);
       },
       "out", true, false, false, "The file is read-only", "out file 644 0:0 n1 \"old\"\n"},
      {"full disk: old content kept, nothing left behind",
       [](const fs::path& d) { Put(d / "out", "old"); }, "out", false, true, false,
       "No space left on device", "out file 644 0:0 n1 \"old\"\n"},
  };
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string pattern = (fs::temp_directory_path() / "tavi-save-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    std::string skipped;
    const std::string report = RunInChild(c, dir, skipped);
    if (!skipped.empty()) {
      std::printf("[ skipped row ] %s: %s\n", c.name, skipped.c_str());
    } else {
      const std::size_t first = report.find('\n');
      const std::size_t second = report.find('\n', first + 1);
      ASSERT_NE(second, std::string::npos) << report;
      const std::string text = report.substr(first + 1, second - first - 1);
      EXPECT_EQ(report.substr(0, first), c.saved ? "1" : "0") << text;
      if (!c.saved) {
        EXPECT_NE(text.find(c.cause), std::string::npos) << text;
        EXPECT_NE(text.find((dir / c.target).string()), std::string::npos) << text;
      }
      if (c.as_nobody && !c.saved && c.cause.starts_with("No new file")) {
        EXPECT_NE(text.find("folder " + dir.string() + " (Permission denied)"), std::string::npos)
            << text;
      }
      EXPECT_EQ(report.substr(second + 1), c.after);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
}

}  // namespace
}  // namespace tavi
