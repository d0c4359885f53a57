#include "config/settings_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

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

  ASSERT_TRUE(SaveSettings(path_, loaded));
  EXPECT_EQ(Get(), "[Port]\nPort=0\nHostSel=0\nNumHost=0\nWin9x_ExtraDelay=22000\nMachineType=1\n");
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
            "Win9X_ExtraDelay=100\nMachineType=0\n");
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
