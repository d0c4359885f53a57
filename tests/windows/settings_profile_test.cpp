// The settings file through the system's own profile functions, and our POSIX text reader held
// against them on the same file.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/settings/settings_store.h"
#include "os/profile_file.h"
#include "os/settings_profile.h"
#include "os/windows/settings_location.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;

class WindowsSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavi-settings-" + std::to_string(::GetCurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Tavi.INI").string();
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

// One hand-edited file with every rule the settings rely on, read through Windows'
// GetPrivateProfileStringA / GetPrivateProfileIntA and through our own text reader: both must
// give the expected answer for every look-up.
TEST_F(WindowsSettingsTest, OurTextReaderAgreesWithTheSystemOnATrickyFile) {
  const std::string text =
      "\xEF\xBB\xBF"
      "; a comment line\r\n"
      "  [ port ]  \r\n"
      "Port = 2\r\n"
      "HostSel=\r\n"
      "NumHost=\"3\"\r\n"
      "Host0 =  \"  spaced host  \"  \r\n"
      "HOST1='single'\r\n"
      "Host2=\"unbalanced\r\n"
      "host3=first\r\n"
      "Host3=second\r\n"
      "MachineType=  -12abc  \r\n"
      "win9x_extradelay=5000\r\n"
      "Big=4294967297\r\n"
      "Plus=+7\r\n"
      "Blank=   \r\n"
      "Quoted=\"\"\r\n"
      "Hex=0x10\r\n"
      "Inner=\"a\"b\"\r\n"
      "Mixed=\"a'\r\n"
      ";Port=7\r\n"
      "JustAWord\r\n"
      "Tab\t=\tx y\t\r\n"
      "[Other]\r\n"
      "Port=1\r\n";
  Put(text);
  struct StringCase {
    const char* section;
    const char* key;
    const char* expected;
  };
  const StringCase strings[] = {
      {"Port", "Port", "2"},
      {"PORT", "port", "2"},
      {"Port", "NumHost", "3"},
      {"Port", "Host0", "  spaced host  "},
      {"Port", "Host1", "single"},
      {"Port", "Host2", "\"unbalanced"},
      {"Port", "Host3", "first"},
      {"Port", "MachineType", "-12abc"},
      {"Port", "Win9X_ExtraDelay", "5000"},
      {"Port", "Blank", ""},
      {"Port", "Quoted", ""},
      {"Port", "Inner", "a\"b"},
      {"Port", "Mixed", "\"a'"},
      {"Port", "Tab", "x y"},
      {"Port", "Missing", "(default)"},
      {"Port", "JustAWord", "(default)"},
      {"Other", "Port", "1"},
      {"Nowhere", "Port", "(default)"},
  };
  const ProfileFile ours = ProfileFile::Parse(text);
  for (const StringCase& c : strings) {
    char buffer[256] = {};
    ::GetPrivateProfileStringA(c.section, c.key, "(default)", buffer, sizeof buffer, path_.c_str());
    EXPECT_EQ(std::string(buffer), c.expected) << "Windows: [" << c.section << "] " << c.key;
    EXPECT_EQ(ours.ReadSection(c.section).GetString(c.key, "(default)"), c.expected)
        << "ours: [" << c.section << "] " << c.key;
  }
  struct IntCase {
    const char* key;
    int expected;
  };
  const IntCase ints[] = {
      {"Port", 2},
      {"HostSel", -5},
      {"NumHost", 3},
      {"MachineType", -12},
      {"Big", 1},
      {"Plus", 7},
      {"Blank", -5},
      {"Quoted", -5},
      {"Host1", 0},
      {"Missing", -5},
      {"Win9X_ExtraDelay", 5000},
  };
  for (const IntCase& c : ints) {
    EXPECT_EQ(static_cast<int>(::GetPrivateProfileIntA("Port", c.key, -5, path_.c_str())),
              c.expected)
        << "Windows: " << c.key;
    EXPECT_EQ(ours.ReadSection("Port").GetInt(c.key, -5), c.expected) << "ours: " << c.key;
  }
}

// Every key of section "Port" saved through WritePrivateProfileStringA and loaded back through
// the system's reads, with host names a plain write would lose (white space at the ends,
// quotes, a line break), the extra delay's two spellings, and the keys a shrunk list leaves.
TEST_F(WindowsSettingsTest, PortKeysMakeARoundTripThroughTheSystemFunctions) {
  Put("; kept\r\n[Port]\r\nWin9X_ExtraDelay=5000\r\nHost9=old\r\n[Folders]\r\nReport=C:\\r\r\n");
  LoadedSettings loaded = LoadSettingsFile(path_);
  ASSERT_FALSE(loaded.refused.has_value());
  EXPECT_EQ(loaded.settings.extra_delay_ms, 5000);
  EXPECT_EQ(loaded.settings.machine_type, 1);

  PortSettings settings;
  settings.port = 2;
  settings.host_sel = 1;
  settings.hosts = {"192.0.2.1", "  spaced  ", "\"quoted\"", "'single'", "two\r\nlines", ""};
  settings.extra_delay_ms = -7;
  settings.machine_type = 0;
  ASSERT_TRUE(SaveSettings(path_, settings));

  loaded = LoadSettingsFile(path_);
  ASSERT_FALSE(loaded.refused.has_value());
  EXPECT_EQ(loaded.settings.port, 2);
  EXPECT_EQ(loaded.settings.host_sel, 1);
  const std::vector<std::string> expected = {"192.0.2.1", "  spaced  ", "\"quoted\"",
                                             "'single'",  "two",        ""};
  EXPECT_EQ(loaded.settings.hosts, expected);
  EXPECT_EQ(loaded.settings.extra_delay_ms, -7);
  EXPECT_EQ(loaded.settings.machine_type, 0);

  // The same answers from our own reader of the file Windows wrote.
  const std::string written = Get();
  const ProfileSection ours = ProfileFile::Parse(written).ReadSection("Port");
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(ours.GetString("Host" + std::to_string(i), "?"), expected[i]) << i;
  }
  EXPECT_EQ(ours.GetInt("Win9X_ExtraDelay", 0), -7);
  // Nothing else was lost, one extra-delay key stays, and the shrunk list's old key remains.
  EXPECT_NE(written.find("; kept"), std::string::npos);
  EXPECT_NE(written.find("Report=C:\\r"), std::string::npos);
  EXPECT_NE(written.find("Host9=old"), std::string::npos);
  EXPECT_EQ(written.find("Win9x_ExtraDelay"), std::string::npos) << written;
  EXPECT_EQ(written.find("lines"), std::string::npos) << written;

  settings.hosts.resize(2);
  ASSERT_TRUE(SaveSettings(path_, settings));
  EXPECT_EQ(LoadSettings(path_).hosts, (std::vector<std::string>{"192.0.2.1", "  spaced  "}));
  EXPECT_NE(Get().find("Host5="), std::string::npos);
}

TEST_F(WindowsSettingsTest, FirstSaveCreatesFolderAndFileWithEveryDefault) {
  path_ = (dir_ / "new" / "Tavi" / "Tavi.INI").string();
  const LoadedSettings loaded = LoadSettingsFile(path_);
  ASSERT_FALSE(loaded.refused.has_value());
  ASSERT_TRUE(SaveSettings(path_, loaded.settings));
  EXPECT_EQ(Get(),
            "[Port]\r\nPort=0\r\nHostSel=0\r\nNumHost=0\r\nWin9x_ExtraDelay=22000\r\n"
            "MachineType=1\r\nCommunity=public\r\n");
}

TEST_F(WindowsSettingsTest, AFolderInPlaceOfTheFileIsNeitherReadNorReplaced) {
  fs::create_directories(path_);
  const LoadedSettings loaded = LoadSettingsFile(path_);
  ASSERT_TRUE(loaded.refused.has_value());
  EXPECT_EQ(loaded.settings.extra_delay_ms, 22000);
  FileError error;
  EXPECT_FALSE(SaveSettings(path_, PortSettings{}, error));
  EXPECT_EQ(error.path, path_);
  EXPECT_TRUE(fs::is_directory(path_));
}

TEST(WindowsSettingsLocationTest, InstalledInApplicationDataPortableBesideTheProgram) {
  const std::string roaming = "C:\\Users\\t\\AppData\\Roaming";
  // A portable copy: beside the program while its folder takes files, else application data.
  EXPECT_EQ(ChooseSettingsPath("C:\\Tools\\Tavi\\tavi.exe", "", true, roaming),
            "C:\\Tools\\Tavi\\Tavi.INI");
  EXPECT_EQ(ChooseSettingsPath("C:\\Program Files\\Tavi\\tavi-cli.exe", "", false, roaming),
            roaming + "\\Tavi\\Tavi.INI");
  // The installed copy goes to application data even where Program Files is writable; the
  // installer's folder ends in a backslash and may differ in letter case and separators.
  const std::string installed = "C:\\Program Files\\Tavi\\";
  EXPECT_EQ(ChooseSettingsPath("C:\\Program Files\\Tavi\\tavi.exe", installed, true, roaming),
            roaming + "\\Tavi\\Tavi.INI");
  EXPECT_EQ(ChooseSettingsPath("c:/program files/TAVI/tavi-cli.exe", installed, true, roaming),
            roaming + "\\Tavi\\Tavi.INI");
  // A portable copy on a PC where Tavi is also installed: other folders, a sub-folder or a
  // folder whose name only begins like the installed one, stays portable.
  EXPECT_EQ(ChooseSettingsPath("D:\\Stick\\Tavi\\tavi.exe", installed, true, roaming),
            "D:\\Stick\\Tavi\\Tavi.INI");
  EXPECT_EQ(ChooseSettingsPath("C:\\Program Files\\Tavi\\old\\tavi.exe", installed, true, roaming),
            "C:\\Program Files\\Tavi\\old\\Tavi.INI");
  EXPECT_EQ(ChooseSettingsPath("C:\\Program Files\\Tavi2\\tavi.exe", installed, true, roaming),
            "C:\\Program Files\\Tavi2\\Tavi.INI");
  EXPECT_FALSE(IsInInstallFolder("tavi.exe", ""));
  EXPECT_EQ(ChooseSettingsPath("", "", false, ""), "Tavi.INI");
  EXPECT_EQ(ChooseSettingsPath("C:\\Program Files\\Tavi\\tavi.exe", installed, true, ""),
            "Tavi.INI");

  // This test program's own folder takes new files, so the settings go beside it.
  char exe[MAX_PATH] = {};
  ASSERT_GT(::GetModuleFileNameA(nullptr, exe, MAX_PATH), 0u);
  const std::string folder = fs::path(exe).parent_path().string();
  EXPECT_TRUE(FolderTakesNewFiles(folder));
  EXPECT_EQ(DefaultSettingsPath(), folder + "\\Tavi.INI");
  EXPECT_FALSE(FolderTakesNewFiles(folder + "\\no-such-folder"));
}

}  // namespace
}  // namespace tavi
