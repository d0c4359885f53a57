#include "core/files/head_rank.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace tavi {
namespace {

constexpr std::string_view kSpaced = "7BZ3E3CVXUWVUQQ 2100Y012VTTR 40UWJB";
constexpr std::string_view kCompact = "7BZ3E3CVXUWVUQQ2100Y012VTTR40UWJB";
constexpr std::string_view kOther = "ABCDEFGhijklmn$ %*+-.0123456 :98765";  // spaced, 35 chars

HeadRankFields Marked() {
  HeadRankFields f;
  for (auto& s : f.f) s = "unchanged";
  return f;
}

TEST(HeadRankLine, BothFormsOfTheDefaults) {
  EXPECT_TRUE(IsValidHeadRankLine(kSpaced, true));
  EXPECT_TRUE(IsValidHeadRankLine(kCompact, false));
  EXPECT_FALSE(IsValidHeadRankLine(kSpaced, false));
  EXPECT_FALSE(IsValidHeadRankLine(kCompact, true));

  HeadRankFields spaced = Marked();
  EXPECT_EQ(ApplyHeadRankLine(kSpaced, spaced), HeadRankLoad::kApplied);
  const HeadRankFields defaults;
  EXPECT_EQ(spaced.f, defaults.f);
  HeadRankFields compact = Marked();
  EXPECT_EQ(ApplyHeadRankLine(kCompact, compact), HeadRankLoad::kApplied);
  EXPECT_EQ(compact.f, defaults.f);
}

TEST(HeadRankLine, RankCharactersAndCase) {
  HeadRankFields f;
  ASSERT_EQ(ApplyHeadRankLine(kOther, f), HeadRankLoad::kApplied);
  EXPECT_EQ(f.f[0], "ABCDEFG");
  EXPECT_EQ(f.f[1], "hijklmn");
  EXPECT_EQ(f.f[2], "$");
  EXPECT_EQ(f.f[3], "%*+-.");
  EXPECT_EQ(f.f[4], "0123456");
  EXPECT_EQ(f.f[5], ":98765");
  EXPECT_EQ(BuildHeadRankString(f), kOther);
}

TEST(HeadRankLine, IllegalLinesLeaveFieldsAlone) {
  std::string tab(kCompact);
  tab[3] = '\t';
  std::string underscore(kCompact);
  underscore[20] = '_';
  std::string high(kCompact);
  high[0] = static_cast<char>(0xC3);
  std::string spaces_elsewhere(kSpaced);
  std::swap(spaces_elsewhere[15], spaces_elsewhere[16]);
  std::string quote(kSpaced);
  quote[34] = '"';
  const std::string cases[] = {
      tab,
      underscore,
      high,
      spaces_elsewhere,
      quote,
      std::string(kSpaced.substr(0, 34)),     // 34 characters with a space
      std::string(kSpaced) + "X",             // 36
      std::string(kCompact.substr(0, 32)),    // 32 without a space
      std::string(kCompact) + "Z",            // 34 without a space
      "7BZ3E3CVXUWVUQQ 2100Y012VTTR 40UWJ ",  // a third space
      "",
  };
  for (const std::string& line : cases) {
    HeadRankFields f = Marked();
    EXPECT_EQ(ApplyHeadRankLine(line, f), HeadRankLoad::kIllegal) << line;
    EXPECT_EQ(f.f, Marked().f) << line;
  }
}

TEST(HeadRankFile, TrimmingAndCommentsComeFirst) {
  const HeadRankFields defaults;
  const std::string texts[] = {
      std::string(kSpaced) + "\r\n",
      " \t" + std::string(kSpaced),
      "# rank codes\n\n   # indented comment\n\t\r\n" + std::string(kCompact) + "\nrubbish\n",
      "\v\f" + std::string(kCompact) + " \t\r",
  };
  for (const std::string& text : texts) {
    HeadRankFields f = Marked();
    EXPECT_EQ(LoadHeadRankText(text, f), HeadRankLoad::kApplied) << text;
    EXPECT_EQ(f.f, defaults.f) << text;
  }
  EXPECT_EQ(FindHeadRankLine("#x\n  abc def \r\nzzz"), std::optional<std::string_view>("abc def"));
}

TEST(HeadRankFile, FirstJudgedLineDecides) {
  HeadRankFields f = Marked();
  EXPECT_EQ(LoadHeadRankText("bad line\n" + std::string(kSpaced) + "\n", f),
            HeadRankLoad::kIllegal);
  EXPECT_EQ(f.f, Marked().f);

  // A legal line wins over an illegal one after it.
  EXPECT_EQ(LoadHeadRankText(std::string(kOther) + "\nbad line\n", f), HeadRankLoad::kApplied);
  EXPECT_EQ(f.f[0], "ABCDEFG");
}

TEST(HeadRankFile, NoLineChangesNothing) {
  for (std::string_view text : {"", "\n\n", "# only\n  #comments\n", " \t\r\n\v\f"}) {
    HeadRankFields f = Marked();
    EXPECT_EQ(LoadHeadRankText(text, f), HeadRankLoad::kNoLine);
    EXPECT_EQ(f.f, Marked().f);
  }
}

TEST(HeadRankFile, ZeroByteAndReadLimitEndTheText) {
  HeadRankFields f = Marked();
  const std::string zero_first = "#\n" + std::string(1, '\0') + std::string(kSpaced);
  EXPECT_EQ(LoadHeadRankText(zero_first, f), HeadRankLoad::kNoLine);

  // The zero byte cuts the line itself short: 20 characters remain, illegal.
  std::string cut(kCompact);
  cut[20] = '\0';
  EXPECT_EQ(LoadHeadRankText(cut, f), HeadRankLoad::kIllegal);

  // A line that starts past the first 65,536 bytes is never seen; one that straddles the
  // limit is seen cut short.
  const std::string padding(kHeadRankFileReadLimit, '\n');
  EXPECT_EQ(LoadHeadRankText(padding + std::string(kSpaced), f), HeadRankLoad::kNoLine);
  const std::string straddle(kHeadRankFileReadLimit - 10, '\n');
  EXPECT_EQ(LoadHeadRankText(straddle + std::string(kSpaced), f), HeadRankLoad::kIllegal);
  const std::string fits(kHeadRankFileReadLimit - 35, '\n');
  EXPECT_EQ(LoadHeadRankText(fits + std::string(kSpaced), f), HeadRankLoad::kApplied);
}

TEST(HeadRankString, JoinsFieldsWithoutFiller) {
  const HeadRankFields defaults;
  EXPECT_EQ(BuildHeadRankString(defaults), kSpaced);
  EXPECT_EQ(BuildHeadRankString(defaults).size(), 35u);
  HeadRankFields short_fields;
  short_fields.f = {"a", "", "", "b", "c", ""};
  EXPECT_EQ(BuildHeadRankString(short_fields), "a bc ");
  for (std::size_t i = 0; i < kHeadRankFieldCount; ++i) {
    EXPECT_EQ(kHeadRankDefaults[i].size(), kHeadRankMaxLengths[i]) << i;
  }
}

TEST(HeadRankString, TypedFieldsPassOnlyAsALegalSpacedLine) {
  EXPECT_EQ(TypedHeadRankString(HeadRankFields{}), std::optional<std::string>(kSpaced));
  HeadRankFields lower;
  lower.f = {"abcdefg", "HIJKLMN", "q", "12345", "%*+-.::", "0a0b0c"};
  EXPECT_EQ(TypedHeadRankString(lower),
            std::optional<std::string>("abcdefgHIJKLMNq 12345%*+-.:: 0a0b0c"));
  // What a typed rank must not be: anything a head rank file line could not hold.
  const std::pair<std::size_t, std::string> refused[] = {
      {0, "7BZ3E3"},          // one character short
      {5, ""},                // an empty field
      {3, "2100YY"},          // one too many: the spaces move
      {0, "A\"B_\xC3\xA9x"},  // a quote, an underscore and UTF-8 in 7 bytes
      {4, "012VTT\t"},        // a tab
      {2, " "},               // a space where a rank character belongs
  };
  for (const auto& [field, text] : refused) {
    HeadRankFields typed;
    typed.f[field] = text;
    EXPECT_EQ(TypedHeadRankString(typed), std::nullopt) << field << ": " << text;
  }
}

}  // namespace
}  // namespace tavi
