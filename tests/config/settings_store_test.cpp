#include "core/settings/settings_store.h"
#include "os/profile_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

namespace tavi {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tavi-settings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "Tavi.ini").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Get() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(SettingsStoreTest, FirstRunUsesDefaultsAndSaveCreatesFolderAndFile) {
  path_ = (dir_ / "config" / "Tavi" / "Tavi.ini").string();
  const PortSettings loaded = LoadSettings(path_);
  EXPECT_EQ(loaded.port, 0);
  EXPECT_EQ(loaded.host_sel, 0);
  EXPECT_TRUE(loaded.hosts.empty());
  EXPECT_EQ(loaded.extra_delay_ms, 22000);
  EXPECT_EQ(loaded.machine_type, 1);

  EXPECT_EQ(loaded.community, "public");

  ASSERT_TRUE(SaveSettings(path_, loaded));
  EXPECT_EQ(Get(),
            "[Port]\nPort=0\nHostSel=0\nNumHost=0\nWin9x_ExtraDelay=22000\nMachineType=1\n"
            "Community=public\n");
}

TEST_F(SettingsStoreTest, CommunityIsKeptAsAnyKeyAndOneThatCannotBeSentLoadsAsTheDefault) {
  PortSettings settings;
  settings.community = std::string(kMaxCommunityLength, '~');
  ASSERT_TRUE(SaveSettings(path_, settings));
  EXPECT_NE(Get().find("\nCommunity=" + settings.community + "\n"), std::string::npos) << Get();
  EXPECT_EQ(LoadSettings(path_).community, settings.community);

  for (const std::string& bad : {std::string(kMaxCommunityLength + 1, 'x'), std::string("a b"),
                                 std::string("caf\xC3\xA9"), std::string("tab\there")}) {
    Put("[Port]\nMachineType=0\ncommunity=" + bad + "\n");
    const PortSettings loaded = LoadSettings(path_);
    EXPECT_EQ(loaded.community, "public") << bad;
    EXPECT_EQ(loaded.machine_type, 0);
    // And such a community is never written.
    PortSettings unsendable;
    unsendable.community = bad;
    EXPECT_FALSE(SaveSettings(path_, unsendable)) << bad;
    EXPECT_EQ(Get(), "[Port]\nMachineType=0\ncommunity=" + bad + "\n");
  }
}

TEST_F(SettingsStoreTest, LoadReadsKeysWithoutRegardToCase) {
  Put("[port]\nwin9x_extradelay=5000\n");
  const PortSettings loaded = LoadSettings(path_);
  EXPECT_EQ(loaded.extra_delay_ms, 5000);
  EXPECT_EQ(loaded.machine_type, 1);

  Put("[PORT]\nPORT=2\nhostsel=7\nNUMHOST=1\nhost0=10.0.0.1\nMACHINETYPE= 0x\n");
  const PortSettings second = LoadSettings(path_);
  EXPECT_EQ(second.port, 2);
  EXPECT_EQ(second.host_sel, 7);  // not checked against the list
  EXPECT_EQ(second.hosts, std::vector<std::string>{"10.0.0.1"});
  EXPECT_EQ(second.machine_type, 0);
}

TEST_F(SettingsStoreTest, HostListFollowsNumHostOnly) {
  Put("[Port]\nNumHost=3\nHost0=a\nHost2=c\n");
  EXPECT_EQ(LoadSettings(path_).hosts, (std::vector<std::string>{"a", "", "c"}));

  Put("[Port]\nNumHost=5\nHost0=0\nHost1=1\nHost2=2\nHost3=3\nHost4=4\nHost5=5\nHost6=6\n");
  EXPECT_EQ(LoadSettings(path_).hosts, (std::vector<std::string>{"0", "1", "2", "3", "4"}));

  Put("[Port]\nNumHost=-4\nHost0=a\n");
  EXPECT_TRUE(LoadSettings(path_).hosts.empty());

  Put("[Port]\nNumHost=2147483647\nHost0=a\n");
  const PortSettings capped = LoadSettings(path_);
  ASSERT_EQ(capped.hosts.size(), kMaxHostCount);
  EXPECT_EQ(capped.hosts.front(), "a");
  EXPECT_EQ(capped.hosts.back(), "");
}

TEST_F(SettingsStoreTest, ShrunkListKeepsOldHostKeys) {
  Put("[Port]\nPort=1\nHostSel=4\nNumHost=5\nHost0=a\nHost1=b\nHost2=c\nHost3=d\nHost4=e\n"
      "Win9X_ExtraDelay=100\nMachineType=0\n");
  PortSettings settings = LoadSettings(path_);
  settings.hosts = {"x", "y", "z"};
  settings.host_sel = 2;
  ASSERT_TRUE(SaveSettings(path_, settings));
  EXPECT_EQ(Get(),
            "[Port]\nPort=1\nHostSel=2\nNumHost=3\nHost0=x\nHost1=y\nHost2=z\nHost3=d\nHost4=e\n"
            "Win9X_ExtraDelay=100\nMachineType=0\nCommunity=public\n");
  const PortSettings reloaded = LoadSettings(path_);
  EXPECT_EQ(reloaded.hosts, (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_EQ(reloaded.extra_delay_ms, 100);
  EXPECT_EQ(reloaded.machine_type, 0);
}

TEST_F(SettingsStoreTest, SaveKeepsEverythingElseByteForByte) {
  Put("; written by hand\r\n"
      "[Window]\r\n"
      "X = 10\r\n"
      "\r\n"
      "[port]\r\n"
      "  port = 5\r\n"
      "; a note\r\n"
      "Odd line\r\n"
      "MachineType=2\r\n"
      "\r\n"
      "[Tail]\r\n"
      "Y=2");
  PortSettings settings = LoadSettings(path_);
  EXPECT_EQ(settings.port, 5);
  EXPECT_EQ(settings.machine_type, 2);
  settings.hosts = {"printer-1"};
  settings.machine_type = -1;
  ASSERT_TRUE(SaveSettings(path_, settings));
  EXPECT_EQ(Get(),
            "; written by hand\r\n"
            "[Window]\r\n"
            "X = 10\r\n"
            "\r\n"
            "[port]\r\n"
            "port=5\r\n"
            "; a note\r\n"
            "Odd line\r\n"
            "MachineType=-1\r\n"
            "HostSel=0\r\n"
            "NumHost=1\r\n"
            "Host0=printer-1\r\n"
            "Win9x_ExtraDelay=22000\r\n"
            "Community=public\r\n"
            "\r\n"
            "[Tail]\r\n"
            "Y=2");
}

TEST_F(SettingsStoreTest, GarbageFileLoadsSafelyAndSurvivesSave) {
  std::mt19937 rng(7);
  std::string garbage(100000, '\0');
  for (char& c : garbage) c = static_cast<char>(rng());
  garbage += "\n[Port]\nNumHost=2\nHost1=";
  garbage += std::string(10000, 'h');  // a huge line without a line end
  Put(garbage);
  PortSettings settings = LoadSettings(path_);
  ASSERT_EQ(settings.hosts.size(), 2u);
  EXPECT_EQ(settings.hosts[1].size(), 4095u);
  ASSERT_TRUE(SaveSettings(path_, settings));
  const std::string saved = Get();
  EXPECT_EQ(saved.compare(0, garbage.size() - 10000, garbage, 0, garbage.size() - 10000), 0);
  EXPECT_EQ(LoadSettings(path_).hosts, settings.hosts);
}

TEST_F(SettingsStoreTest, SaveRefusesToReplaceWhatItCannotRead) {
  // A folder where the file should be cannot be read; it is left alone.
  fs::create_directory(path_);
  FileError error;
  EXPECT_FALSE(SaveSettings(path_, PortSettings{}, error));
  EXPECT_EQ(error.op, FileError::Op::kRead);
  EXPECT_TRUE(fs::is_directory(path_));

  // A folder that cannot be created.
  std::ofstream(dir_ / "file") << "x";
  EXPECT_FALSE(SaveSettings((dir_ / "file" / "sub" / "Tavi.ini").string(), PortSettings{}, error));
  EXPECT_FALSE(error.cause.empty());
}

// A file edited by hand reads as Windows' profile functions read it, and a save changes only
// the values of the section, keeping the byte-order mark, the one [Port] and every other section.
TEST_F(SettingsStoreTest, HandEditedFileReadsAsWindowsDoesAndSavesInPlace) {
  const std::string other = "[Window]\r\nFolder=\"/srv/backups\"\r\n";
  Put("\xEF\xBB\xBF[Port]\r\n"
      "Port=+1\r\n"
      "HostSel=\"1\"\r\n"
      "NumHost= 3 \r\n"
      "Host0=\"printer a\"\r\n"
      "Host1='10.0.0.2'\r\n"
      "Host2=\"half\r\n"
      "Win9X_ExtraDelay=\r\n"
      "MachineType=\r\n" +
      other);
  PortSettings settings = LoadSettings(path_);
  EXPECT_EQ(settings.port, 1);
  EXPECT_EQ(settings.host_sel, 1);
  EXPECT_EQ(settings.hosts, (std::vector<std::string>{"printer a", "10.0.0.2", "\"half"}));
  EXPECT_EQ(settings.extra_delay_ms, 22000);  // empty: the default, not 0
  EXPECT_EQ(settings.machine_type, 1);        // empty: the default family, access code B

  settings.hosts = {" spaced ", "\"quoted\"", "plain"};
  ASSERT_TRUE(SaveSettings(path_, settings));
  EXPECT_EQ(Get(),
            "\xEF\xBB\xBF[Port]\r\n"
            "Port=1\r\n"
            "HostSel=1\r\n"
            "NumHost=3\r\n"
            "Host0=\" spaced \"\r\n"
            "Host1=\"\"quoted\"\"\r\n"
            "Host2=plain\r\n"
            "Win9X_ExtraDelay=22000\r\n"
            "MachineType=1\r\n"
            "Community=public\r\n" +
                other);
  EXPECT_EQ(LoadSettings(path_).hosts, settings.hosts);
}

// A settings file past 1 MiB, or one that is not a regular file, is not read (so it cannot take
// time or memory) and is left exactly as it is by a save; the defaults are used.
TEST_F(SettingsStoreTest, OversizedOrOddFileIsNeitherReadNorReplaced) {
  const std::string blank_lines(kMaxSettingsFileBytes + 1, '\n');
  Put(blank_lines);
  LoadedSettings loaded = LoadSettingsFile(path_);
  ASSERT_TRUE(loaded.refused.has_value());
  EXPECT_EQ(SettingsRefusedText(*loaded.refused),
            "The settings file cannot be used. Could not read " + path_ +
                ": It is larger than 1 MiB. The default settings are used, and the file is left "
                "as it is.");
  EXPECT_EQ(loaded.settings.machine_type, 1);
  loaded.settings.port = 2;
  EXPECT_FALSE(SaveSettings(path_, loaded.settings));
  EXPECT_EQ(Get(), blank_lines);

  // A sparse gigabyte is refused by its size alone.
  fs::resize_file(path_, std::uintmax_t{1} << 30);
  const auto before = fs::last_write_time(path_);
  EXPECT_TRUE(LoadSettingsFile(path_).refused.has_value());
  EXPECT_FALSE(SaveSettings(path_, PortSettings{}));
  EXPECT_EQ(fs::file_size(path_), std::uintmax_t{1} << 30);
  EXPECT_EQ(fs::last_write_time(path_), before);

  // Exactly 1 MiB is read.
  std::string full(kMaxSettingsFileBytes - 15, '\n');
  full += "[Port]\nPort=2\n\n";
  ASSERT_EQ(full.size(), kMaxSettingsFileBytes);
  Put(full);
  loaded = LoadSettingsFile(path_);
  EXPECT_FALSE(loaded.refused.has_value());
  EXPECT_EQ(loaded.settings.port, 2);

  // A FIFO cannot keep the load waiting.
  fs::remove(path_);
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  loaded = LoadSettingsFile(path_);
  ASSERT_TRUE(loaded.refused.has_value());
  EXPECT_EQ(loaded.refused->cause, "Not a regular file (a FIFO)");
  EXPECT_FALSE(SaveSettings(path_, PortSettings{}));
  EXPECT_TRUE(fs::is_fifo(path_));
}

// A settings file kept elsewhere through a link (a dotfiles folder) stays a link.
// Whatever a save accepts, a load gives back as it was; what it would not, is refused and the
// file left as it is: a host list past the count a load takes, a host past the length a load
// reads, a file past the size a load reads (the window once wrote 65,536 hosts into 1.2 MB).
TEST_F(SettingsStoreTest, WhatASaveAcceptsReadsBackTheRestIsRefused) {
  Put("[Port]\nNumHost=1\nHost0=kept\n");
  const std::string before = Get();
  auto check = [&](const PortSettings& settings, bool fits) {
    FileError error;
    const bool saved = SaveSettings(path_, settings, error);
    EXPECT_EQ(saved, fits) << settings.hosts.size() << " hosts: " << error.cause;
    if (saved) {
      const LoadedSettings loaded = LoadSettingsFile(path_);
      EXPECT_FALSE(loaded.refused.has_value());
      EXPECT_TRUE(loaded.settings.hosts == settings.hosts) << settings.hosts.size() << " hosts";
      Put(before);
    } else {
      EXPECT_EQ(Get(), before);
      EXPECT_EQ(error.path, path_);
      EXPECT_NE(error.cause.find("the file is left as it is"), std::string::npos) << error.cause;
    }
  };
  PortSettings settings;
  settings.hosts.assign(kMaxHostCount, "h");
  check(settings, true);
  settings.hosts.push_back("h");
  check(settings, false);

  settings.hosts = {std::string(kProfileMaxStringLength, 'x')};
  check(settings, true);
  settings.hosts[0] += 'x';
  check(settings, false);

  // 65,536 addresses of 15 characters pass the size a load reads; somewhat fewer fit.
  settings.hosts.assign(kMaxHostCount, "192.168.100.200");
  check(settings, false);
  int accepted = 0;
  for (std::size_t count = 40000; count <= 44000; count += 1000) {
    settings.hosts.assign(count, "192.168.100.200");
    FileError error;
    const bool fits = SaveSettings(path_, settings, error);
    Put(before);
    check(settings, fits);
    accepted += fits ? 1 : 0;
  }
  EXPECT_GT(accepted, 0);
  EXPECT_LT(accepted, 5);
}

TEST_F(SettingsStoreTest, SaveWritesThroughALink) {
  fs::create_directory(dir_ / "dotfiles");
  std::ofstream(dir_ / "dotfiles" / "Tavi.ini") << "[Other]\nx=1\n";
  fs::create_symlink("dotfiles/Tavi.ini", path_);
  ASSERT_TRUE(SaveSettings(path_, PortSettings{}));
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(Get(),
            "[Other]\nx=1\n\n[Port]\nPort=0\nHostSel=0\nNumHost=0\nWin9x_ExtraDelay=22000\n"
            "MachineType=1\nCommunity=public\n");
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DefaultSettingsPathTest, FollowsTheConfigFolderConvention) {
  ScopedEnv home("HOME", "/home/tech");
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(DefaultSettingsPath(), "/cfg/Tavi/Tavi.ini");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(DefaultSettingsPath(), "/home/tech/.config/Tavi/Tavi.ini");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(DefaultSettingsPath(), "/home/tech/.config/Tavi/Tavi.ini");
  }
}

}  // namespace
}  // namespace tavi
