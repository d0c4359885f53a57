#include "os/profile_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tavi {
namespace {

TEST(ProfileIntTest, ReadsLeadingSignedDigitsOnly) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"12", 12},
      {"12abc", 12},
      {"  -12x", -12},
      {"\t7", 7},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"+5", 5},
      {" +12", 12},
      {"+-5", 0},
      {"- 5", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"4294967295", -1},
      {"4294967296", 0},  // wraps like 32-bit arithmetic
      {"99999999999999999999999", static_cast<std::int32_t>(0xF67FFFFFu)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseProfileInt(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ProfileReadTest, NamesMatchWithoutCaseAndFirstMatchWins) {
  const ProfileFile file = ProfileFile::Parse(
      "  [ port ]  \n"
      "  HOST0 =  alpha beta  \n"
      "host0=second\n"
      "Empty=\n"
      "[Port]\n"
      "Late=1\n"
      "[Other]\n"
      "Host0=other\n");
  EXPECT_EQ(file.GetString("Port", "Host0"), "alpha beta");
  EXPECT_EQ(file.GetString("PORT", "host0"), "alpha beta");
  EXPECT_EQ(file.GetString("other", "HOST0"), "other");
  // Only the first matching section is searched.
  EXPECT_EQ(file.GetString("Port", "Late"), std::nullopt);
  // An empty value reads as the default, as a missing key does.
  EXPECT_EQ(file.GetInt("Port", "Empty", 99), 99);
  EXPECT_EQ(file.GetInt("Port", "Missing", 99), 99);
  EXPECT_EQ(file.GetInt("Nowhere", "Host0", -3), -3);
}

TEST(ProfileReadTest, CommentsAndLinesWithoutEqualsAreNotKeys) {
  const ProfileFile file = ProfileFile::Parse(
      "[Port]\n"
      ";Port=7\n"
      "Port\n"
      "[Broken\n"
      "Port=3\n");
  EXPECT_EQ(file.GetInt("Port", "Port", -1), 3);
  EXPECT_EQ(file.GetInt("Port", ";Port", -1), -1);
}

// Values as people type them: one pair of matching quotes goes, anything else stays.
TEST(ProfileReadTest, OnePairOfMatchingQuotesIsDropped) {
  const ProfileFile file = ProfileFile::Parse(
      "[Port]\n"
      "a=\"two words\"\n"
      "b= 'single' \n"
      "c=\"\"twice\"\"\n"
      "d=\"open\n"
      "e=\"mixed'\n"
      "f=\"\n"
      "g=\"\"\n"
      "n=\"-7\"\n");
  EXPECT_EQ(file.GetString("Port", "a"), "two words");
  EXPECT_EQ(file.GetString("Port", "b"), "single");
  EXPECT_EQ(file.GetString("Port", "c"), "\"twice\"");
  EXPECT_EQ(file.GetString("Port", "d"), "\"open");
  EXPECT_EQ(file.GetString("Port", "e"), "\"mixed'");
  EXPECT_EQ(file.GetString("Port", "f"), "\"");
  EXPECT_EQ(file.GetString("Port", "g"), "");
  EXPECT_EQ(file.GetInt("Port", "g", 42), 42);
  EXPECT_EQ(file.GetInt("Port", "n", 42), -7);
}

// A value that a read would change is written in quotes, so that it reads back as given.
TEST(ProfileWriteTest, ValuesReadBackAsWritten) {
  ProfileFile file = ProfileFile::Parse("");
  const std::string values[] = {" lead", "trail\t", "\"q\"", "'s'", "\"", "a\"b\"", "plain", ""};
  std::vector<std::pair<std::string, std::string>> entries;
  for (std::size_t i = 0; i < std::size(values); ++i)
    entries.emplace_back("k" + std::to_string(i), values[i]);
  file.SetStrings("S", entries);
  EXPECT_EQ(file.Serialize(),
            "[S]\nk0=\" lead\"\nk1=\"trail\t\"\nk2=\"\"q\"\"\nk3=\"'s'\"\nk4=\"\nk5=a\"b\"\n"
            "k6=plain\nk7=\n");
  const ProfileFile again = ProfileFile::Parse(file.Serialize());
  for (std::size_t i = 0; i < std::size(values); ++i)
    EXPECT_EQ(again.GetString("S", "k" + std::to_string(i)), values[i]) << i;
}

// An editor's byte-order mark is not part of the first section's name, and stays on save.
TEST(ProfileWriteTest, ByteOrderMarkIsSkippedAndKept) {
  ProfileFile file = ProfileFile::Parse("\xEF\xBB\xBF[Port]\r\nPort=2\r\n");
  EXPECT_EQ(file.GetInt("Port", "Port", -1), 2);
  file.SetStrings("Port", {{"Port", "1"}, {"NumHost", "0"}});
  EXPECT_EQ(file.Serialize(), "\xEF\xBB\xBF[Port]\r\nPort=1\r\nNumHost=0\r\n");
  EXPECT_EQ(file.line_count(), 3u);
}

TEST(ProfileReadTest, LongValuesAreCutAt4095Characters) {
  const std::string long_value(1 << 20, 'h');
  const ProfileFile file = ProfileFile::Parse("[Port]\nHost0=" + long_value + "\nHost1=x");
  const auto value = file.GetString("Port", "Host0");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->size(), kProfileMaxStringLength);
  EXPECT_EQ(file.GetString("Port", "Host1"), "x");
}

TEST(ProfileWriteTest, UnchangedFileSerialisesByteForByte) {
  const std::string texts[] = {
      "",
      "no newline at all",
      "; comment\r\n[A]\r\nk = v \r\n\r\n[B]\nmixed=1\r\n\n",
      std::string("bin\0ary\xff\xfe=\x01\n[\x80]\nx=y", 20),
      "\n\n\r\n\r\r\n[",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(ProfileFile::Parse(text).Serialize(), text);
  }
}

TEST(ProfileWriteTest, ExistingKeyChangesInPlaceKeepingItsSpelling) {
  ProfileFile file = ProfileFile::Parse(
      "; keep me\r\n"
      "[other]\r\n"
      "Port=9\r\n"
      "[PORT]\r\n"
      "  win9X_EXTRADELAY = 5000  \r\n"
      "; between\r\n"
      "win9x_extradelay=1\r\n"
      "Tail=t\r\n");
  file.SetInt("Port", "Win9x_ExtraDelay", 22000);
  EXPECT_EQ(file.Serialize(),
            "; keep me\r\n"
            "[other]\r\n"
            "Port=9\r\n"
            "[PORT]\r\n"
            "win9X_EXTRADELAY=22000\r\n"
            "; between\r\n"
            "win9x_extradelay=1\r\n"
            "Tail=t\r\n");
}

TEST(ProfileWriteTest, MissingKeyGoesAfterTheLastLineOfItsSection) {
  ProfileFile file = ProfileFile::Parse(
      "[Port]\n"
      "Port=1\n"
      "\n"
      "[Next]\n"
      "a=b\n");
  file.SetString("port", "HostSel", "2");
  file.SetString("Next", "c", "d");
  EXPECT_EQ(file.Serialize(),
            "[Port]\n"
            "Port=1\n"
            "HostSel=2\n"
            "\n"
            "[Next]\n"
            "a=b\n"
            "c=d\n");
}

TEST(ProfileWriteTest, MissingSectionGoesAtTheEndWithTheFileLineEnds) {
  ProfileFile file = ProfileFile::Parse("[A]\r\nx=1");
  file.SetStrings("Port", {{"Port", "0"}, {"NumHost", "0"}, {"port", "2"}});
  EXPECT_EQ(file.Serialize(), "[A]\r\nx=1\r\n\r\n[Port]\r\nPort=2\r\nNumHost=0\r\n");

  ProfileFile empty = ProfileFile::Parse("");
  empty.SetString("Port", "Port", "0");
  EXPECT_EQ(empty.Serialize(), "[Port]\nPort=0\n");
}

TEST(ProfileWriteTest, ValueCannotAddLinesOfItsOwn) {
  ProfileFile file = ProfileFile::Parse("[Port]\n");
  file.SetString("Port", "Host0", "evil\n[Port]\nPort=5");
  file.SetString("Port", "Host1", std::string("nul\0after", 9));
  EXPECT_EQ(file.Serialize(), "[Port]\nHost0=evil\nHost1=nul\n");
  EXPECT_EQ(file.GetInt("Port", "Port", -1), -1);
}

// Whatever the bytes, writing a key of a new section keeps every byte that was there.
TEST(ProfileWriteTest, GarbledInputKeepsAllContentOnSave) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; ++round) {
    std::string text(rng() % 2000, '\0');
    for (char& c : text) {
      const unsigned r = rng() % 16;
      c = r == 0 ? '\n' : r == 1 ? '=' : r == 2 ? '[' : r == 3 ? ']' : static_cast<char>(rng());
    }
    ProfileFile file = ProfileFile::Parse(text);
    EXPECT_EQ(file.Serialize(), text);
    file.SetString("Zq7 section", "key", "value");
    const std::string out = file.Serialize();
    ASSERT_GE(out.size(), text.size());
    EXPECT_EQ(out.compare(0, text.size(), text), 0) << "round " << round;
    EXPECT_EQ(ProfileFile::Parse(out).GetString("zq7 SECTION", "KEY"), "value");
  }
}

}  // namespace
}  // namespace tavi
