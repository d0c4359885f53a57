// Reading and saving files through the Windows calls (run under Wine here): a save replaces only
// a regular file, in one step, and leaves nothing behind; a read refuses folders and devices and
// says "not there" the way the settings rules expect.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "os/error_names.h"
#include "os/file_io.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;

std::span<const std::byte> Bytes(const std::string& text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

std::string Content(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WindowsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tavi-files-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir_, ec)) {
      ::SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(dir_, ec);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST_F(WindowsFiles, SaveCreatesAndReplacesInOneStepAndRefusesWhatIsNoRegularFile) {
  FileError error;
  const std::string report = Path("report.txt");
  // Bytes as given: no "\r\n" for "\n", NUL bytes kept.
  const std::string first = std::string("line 1\nline 2\r\n\0end", 19);
  ASSERT_TRUE(WriteFileAtomically(report, Bytes(first), error)) << FileErrorText(error);
  EXPECT_EQ(Content(report), first);
  ASSERT_TRUE(WriteFileAtomically(report, Bytes("second"), error)) << FileErrorText(error);
  EXPECT_EQ(Content(report), "second");
  EXPECT_EQ(Names(), std::vector<std::string>{"report.txt"});  // no temporary file remains

  // A folder, a device and a read-only file are refused and left as they were.
  fs::create_directory(dir_ / "folder");
  EXPECT_FALSE(WriteFileAtomically(Path("folder"), Bytes("x"), error));
  EXPECT_EQ(error.op, FileError::Op::kWrite);
  EXPECT_NE(error.cause.find("a folder"), std::string::npos) << error.cause;
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
  EXPECT_FALSE(WriteFileAtomically("NUL", Bytes("x"), error));
  EXPECT_NE(error.cause.find("Not a regular file"), std::string::npos) << error.cause;
  ASSERT_TRUE(::SetFileAttributesA(report.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(WriteFileAtomically(report, Bytes("third"), error));
  EXPECT_NE(error.cause.find("read-only"), std::string::npos) << error.cause;
  ASSERT_TRUE(::SetFileAttributesA(report.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(Content(report), "second");

  // A second name of the same file: replacing one would separate them.
  if (::CreateHardLinkA(Path("twin.txt").c_str(), report.c_str(), nullptr)) {
    EXPECT_FALSE(WriteFileAtomically(report, Bytes("fourth"), error));
    EXPECT_NE(error.cause.find("hard links"), std::string::npos) << error.cause;
    EXPECT_EQ(Content(report), "second");
    EXPECT_EQ(Content(dir_ / "twin.txt"), "second");
    fs::remove(dir_ / "twin.txt");
  }

  // A folder that does not exist: the create step fails with the system's words.
  EXPECT_FALSE(WriteFileAtomically(Path("missing\\report.txt"), Bytes("x"), error));
  EXPECT_EQ(error.op, FileError::Op::kCreate);
  EXPECT_TRUE(error.code == SystemCode::Win32(2) || error.code == SystemCode::Win32(3))
      << ErrorName(error.code);
  EXPECT_EQ(error.path, Path("missing\\report.txt"));
  EXPECT_FALSE(error.cause.empty());
  EXPECT_EQ(Names(), (std::vector<std::string>{"folder", "report.txt"}));
}

TEST_F(WindowsFiles, ReadTakesBoundedBytesAndRefusesFoldersDevicesAndTooLargeFiles) {
  const std::string name = Path("block.bin");
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
  std::ofstream(name, std::ios::binary) << bytes;

  std::vector<std::byte> out;
  FileError error;
  ASSERT_TRUE(ReadWholeFile(name, out, error)) << FileErrorText(error);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), out.size()), bytes);
  ASSERT_TRUE(ReadFileLimited(name, 1000, out, error));
  EXPECT_EQ(out.size(), 1000u);
  EXPECT_FALSE(ReadWholeFile(name, out, error, 199999));
  EXPECT_EQ(error.cause, kFileTooLargeCause);
  EXPECT_TRUE(out.empty());

  // Asked between chunks, the caller stops the read; the flows tell a cancel by ECANCELED.
  int asked = 0;
  EXPECT_FALSE(
      ReadWholeFile(name, out, error, kMaxWholeFileBytes, [&](bool) { return ++asked > 1; }));
  EXPECT_EQ(error.code, SystemCode::Errno(ECANCELED));
  EXPECT_EQ(error.cause, kReadCancelledCause);

  // A file that is not there carries the system's own code.
  EXPECT_FALSE(ReadWholeFile(Path("none.ini"), out, error));
  EXPECT_EQ(error.op, FileError::Op::kOpen);
  EXPECT_EQ(ErrorName(error.code), "ERROR_FILE_NOT_FOUND");
  EXPECT_FALSE(ReadWholeFile(dir_.string(), out, error));
  EXPECT_EQ(error.code, SystemCode::Errno(EISDIR));
  EXPECT_FALSE(ReadWholeFile("NUL", out, error));
  EXPECT_EQ(error.cause, "Not a regular file (a device)");
}

}  // namespace
}  // namespace tavi
