#include "os/file_io.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace tavi {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tavi-fileio-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::span<const std::byte> Bytes(const std::string& s) {
    return std::as_bytes(std::span(s.data(), s.size()));
  }
  static std::string Text(const std::vector<std::byte>& v) {
    return std::string(reinterpret_cast<const char*>(v.data()), v.size());
  }
  // Names in the folder, so a test can see that no temporary file was left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST_F(FileIoTest, WritesNewFileAndReplacesExistingOneKeepingItsMode) {
  const std::string data("bytes\0\xff\r\n", 9);
  const std::string path = Path("out.bin");
  FileError error;
  ASSERT_TRUE(WriteFileAtomically(path, Bytes(data), error)) << FileErrorText(error);
  EXPECT_EQ(Get(path), data);

  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(WriteFileAtomically(path, Bytes("second"), error)) << FileErrorText(error);
  EXPECT_EQ(Get(path), "second");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  ASSERT_TRUE(WriteFileAtomically(path, {}, error));
  EXPECT_EQ(Get(path), "");
  EXPECT_EQ(Names(), std::vector<std::string>{"out.bin"});
}

TEST_F(FileIoTest, FolderThatIsAFileFailsWithCreateError) {
  Put(Path("plain"), "x");
  const std::string path = Path("plain") + "/out.txt";
  FileError error;
  EXPECT_FALSE(WriteFileAtomically(path, Bytes("data"), error));
  EXPECT_EQ(error.op, FileError::Op::kCreate);
  EXPECT_EQ(error.path, path);
  EXPECT_EQ(error.code, SystemCode::Errno(ENOTDIR));
  EXPECT_EQ(FileErrorText(error), "Could not create " + path + ": Not a directory.");
  EXPECT_EQ(Get(Path("plain")), "x");
}

// Tests run as root, where permissions do not stop a write; a file-size limit does.
TEST_F(FileIoTest, FailedWriteLeavesOldContentAndNoTemporaryFile) {
  const std::string path = Path("settings.ini");
  Put(path, "old content");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16, 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    FileError error;
    const bool ok = WriteFileAtomically(path, Bytes(std::string(4096, 'n')), error);
    const bool described = error.op == FileError::Op::kWrite && error.code.IsErrno(EFBIG) &&
                           error.path == path && !error.cause.empty();
    ::_exit(ok ? 1 : described ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: write succeeded, 2: error not described";
  EXPECT_EQ(Get(path), "old content");
  EXPECT_EQ(Names(), std::vector<std::string>{"settings.ini"});
}

TEST_F(FileIoTest, LimitedReadStopsAtTheLimit) {
  std::string data;
  for (int i = 0; i < 200000; ++i) data += static_cast<char>(i * 7);
  const std::string path = Path("in.bin");
  Put(path, data);
  std::vector<std::byte> out{std::byte{1}};
  FileError error;
  ASSERT_TRUE(ReadFileLimited(path, 131072, out, error));
  EXPECT_EQ(Text(out), data.substr(0, 131072));
  ASSERT_TRUE(ReadFileLimited(path, 0, out, error));
  EXPECT_TRUE(out.empty());
  ASSERT_TRUE(ReadFileLimited(path, 1 << 30, out, error));
  EXPECT_EQ(Text(out), data);
  // A device is refused before a byte of it is read.
  EXPECT_FALSE(ReadFileLimited("/dev/zero", 70000, out, error));
  EXPECT_EQ(FileErrorText(error),
            "Could not open /dev/zero: Not a regular file (a character device).");
  EXPECT_TRUE(out.empty());
}

TEST_F(FileIoTest, ReadFailuresAreDescribed) {
  std::vector<std::byte> out{std::byte{1}};
  FileError error;
  const std::string missing = Path("missing");
  EXPECT_FALSE(ReadWholeFile(missing, out, error));
  EXPECT_EQ(error.op, FileError::Op::kOpen);
  EXPECT_EQ(error.code, SystemCode::Errno(ENOENT));
  EXPECT_EQ(FileErrorText(error), "Could not open " + missing + ": No such file or directory.");
  EXPECT_TRUE(out.empty());

  EXPECT_FALSE(ReadFileLimited(dir_.string(), 10, out, error));
  EXPECT_EQ(error.op, FileError::Op::kRead);
  EXPECT_EQ(error.code, SystemCode::Errno(EISDIR));
}

TEST_F(FileIoTest, WholeReadRefusesFilesTooLargeToHold) {
  const std::string path = Path("huge.bin");
  { std::ofstream touch(path); }
  fs::resize_file(path, kMaxWholeFileBytes + 1);  // sparse: no disk space used
  std::vector<std::byte> out{std::byte{1}};
  FileError error;
  EXPECT_FALSE(ReadWholeFile(path, out, error));
  EXPECT_EQ(error.op, FileError::Op::kRead);
  EXPECT_EQ(error.code, SystemCode{});
  EXPECT_EQ(error.cause, "File too large");
  EXPECT_EQ(FileErrorText(error), "Could not read " + path + ": File too large.");
  EXPECT_TRUE(out.empty());

  Put(path, std::string(100000, 'z'));
  ASSERT_TRUE(ReadWholeFile(path, out, error, 100000));
  EXPECT_EQ(out.size(), 100000u);
  Put(Path("empty"), "");
  out.assign(3, std::byte{1});
  ASSERT_TRUE(ReadWholeFile(Path("empty"), out, error));
  EXPECT_TRUE(out.empty());
}

// A FIFO is read only by a caller that can stop its wait: without a check it is refused at once
// (no open can block); with one, its bytes are read to the writer's end, a source longer than
// the bound stops after the bound plus one byte, and a silent one ends when the check says so.
TEST_F(FileIoTest, FifoIsReadUnderTheCallersWatch) {
  const std::string fifo = Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::byte> out;
  FileError error;
  EXPECT_FALSE(ReadWholeFile(fifo, out, error));
  EXPECT_EQ(error.cause, "Not a regular file (a FIFO)");

  int waits = 0;
  const ReadCancelCheck patient = [&](bool waiting) {
    waits += waiting ? 1 : 0;
    return waits > 250;  // 5 s: far more than any row below needs
  };
  // A writer that comes late, writes in pieces and leaves.
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::ofstream w(fifo, std::ios::binary);
    for (int i = 0; i < 3; ++i) {
      w << std::string(50000, static_cast<char>('a' + i)) << std::flush;
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  });
  ASSERT_TRUE(ReadWholeFile(fifo, out, error, kMaxWholeFileBytes, patient)) << FileErrorText(error);
  writer.join();
  EXPECT_EQ(Text(out), std::string(50000, 'a') + std::string(50000, 'b') + std::string(50000, 'c'));
  EXPECT_GT(waits, 0);
  EXPECT_LE(waits, 250);

  // A writer already there when the read opens the FIFO: its leaving ends the read too.
  waits = 0;
  {
    const int holder = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    const int w = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(w, 0);
    ::close(holder);
    std::thread late([w] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      (void)!::write(w, "abc", 3);
      ::close(w);
    });
    ASSERT_TRUE(ReadWholeFile(fifo, out, error, 10, patient)) << FileErrorText(error);
    late.join();
    EXPECT_EQ(Text(out), "abc");
    EXPECT_LE(waits, 250);
  }

  // Longer than the bound: one byte past it is read, then the read stops.
  std::thread flood([&] {
    std::ofstream w(fifo, std::ios::binary);
    w << std::string(100001, 'z');
  });
  EXPECT_FALSE(ReadWholeFile(fifo, out, error, 100000, patient));
  flood.join();
  EXPECT_EQ(error.cause, "File too large");
  EXPECT_TRUE(out.empty());

  // Nobody writes: the check ends the wait.
  int asked = 0;
  EXPECT_FALSE(ReadFileLimited(fifo, 100, out, error,
                               [&](bool waiting) { return waiting && ++asked == 5; }));
  EXPECT_EQ(error.code, SystemCode::Errno(ECANCELED));
  EXPECT_EQ(FileErrorText(error), "Could not read " + fifo + ": Cancelled.");
  EXPECT_EQ(asked, 5);
}

}  // namespace
}  // namespace tavi
