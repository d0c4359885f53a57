#include "core/operations/select_port_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavi {
namespace {

using Hosts = std::vector<std::string>;

PortSettings Settings(std::int32_t port, Hosts hosts, std::int32_t sel, std::int32_t type) {
  PortSettings s;
  s.port = port;
  s.hosts = std::move(hosts);
  s.host_sel = sel;
  s.machine_type = type;
  return s;
}

// Opens the window, lets `act` use it, presses OK and returns the settings after copy-back.
template <typename Act>
PortSettings RunOk(PortSettings settings, Act act) {
  SelectPortRules rules(settings);
  rules.Initialise();
  act(rules);
  rules.Ok();
  rules.ApplyTo(settings);
  return settings;
}

TEST(SelectPortRulesTest, RadioMarksAndEnablesFollowThePortKind) {
  struct Case {
    std::int32_t port;
    int marked;
    bool host_controls;
  };
  for (const Case c : {Case{0, 0, false}, Case{1, 1, true}, Case{2, 2, false}, Case{5, -1, true},
                       Case{-1, -1, true}}) {
    SelectPortRules rules(Settings(c.port, {"a"}, 0, 1));
    rules.Initialise();
    EXPECT_EQ(rules.checked_port_radio(), c.marked) << "port " << c.port;
    const SelectPortEnables& e = rules.enables();
    EXPECT_TRUE(e.port_radios);
    EXPECT_TRUE(e.type_radios);
    EXPECT_EQ(e.host_combo, c.host_controls) << "port " << c.port;
    EXPECT_EQ(e.delete_host, c.host_controls);
    EXPECT_EQ(e.restart, c.host_controls);
  }
}

TEST(SelectPortRulesTest, PortRadioClicksMoveMarkAndApplyEnableRule) {
  SelectPortRules rules(Settings(5, {}, 0, 1));
  rules.Initialise();
  rules.ClickPortRadio(2);
  EXPECT_EQ(rules.checked_port_radio(), 2);
  EXPECT_FALSE(rules.enables().host_combo);
  rules.ClickPortRadio(1);
  EXPECT_EQ(rules.port_value(), 1);
  EXPECT_TRUE(rules.enables().restart);
  rules.ClickPortRadio(0);
  EXPECT_FALSE(rules.enables().delete_host);
}

TEST(SelectPortRulesTest, UnknownPortKindSurvivesOk) {
  const PortSettings after = RunOk(Settings(5, {"a"}, 0, 1), [](SelectPortRules&) {});
  EXPECT_EQ(after.port, 5);
  const PortSettings clicked =
      RunOk(Settings(5, {"a"}, 0, 1), [](SelectPortRules& r) { r.ClickPortRadio(1); });
  EXPECT_EQ(clicked.port, 1);
}

TEST(SelectPortRulesTest, MachineTypeIsCopiedBackAsMarked) {
  SelectPortRules shown(Settings(0, {}, 0, 1));
  shown.Initialise();
  EXPECT_EQ(shown.checked_type_radio(), 1);
  EXPECT_EQ(RunOk(Settings(0, {}, 0, 1), [](SelectPortRules&) {}).machine_type, 1);
  EXPECT_EQ(
      RunOk(Settings(0, {}, 0, 1), [](SelectPortRules& r) { r.ClickTypeRadio(0); }).machine_type,
      0);

  SelectPortRules unknown(Settings(0, {}, 0, 2));
  unknown.Initialise();
  EXPECT_EQ(unknown.checked_type_radio(), -1);
  EXPECT_EQ(RunOk(Settings(0, {}, 0, 2), [](SelectPortRules&) {}).machine_type, -1);
}

TEST(SelectPortRulesTest, DeleteHostMovesSelectionToTheNextOrLastEntry) {
  struct Case {
    Hosts hosts;
    std::int32_t sel;
    Hosts left;
    std::int32_t new_sel;
  };
  const Case cases[] = {
      {{"a", "b", "c"}, 1, {"a", "c"}, 1},  // middle: "c" takes its place
      {{"a", "b", "c"}, 2, {"a", "b"}, 1},  // last: the new last entry
      {{"a"}, 0, {}, -1},                   // only: nothing selected
      {{"a", "b"}, 7, {"a", "b"}, -1},      // no selection: nothing deleted
  };
  for (const Case& c : cases) {
    SelectPortRules rules(Settings(1, c.hosts, c.sel, 1));
    rules.Initialise();
    rules.DeleteHost();
    EXPECT_EQ(rules.combo().entries, c.left);
    EXPECT_EQ(rules.combo().selection, c.new_sel);
    if (c.new_sel >= 0) {
      EXPECT_EQ(rules.combo().edit_text, c.left[c.new_sel]);
    }
  }
}

TEST(SelectPortRulesTest, DeletedHostsReachTheSettingsOnlyThroughOk) {
  PortSettings settings = Settings(1, {"a", "b", "c"}, 0, 1);
  SelectPortRules rules(settings);
  rules.Initialise();
  rules.DeleteHost();
  rules.DeleteHost();
  rules.ApplyTo(settings);  // Cancel: OK was never pressed
  EXPECT_EQ(settings.hosts, (Hosts{"a", "b", "c"}));

  rules.Ok();
  rules.ApplyTo(settings);
  EXPECT_EQ(settings.hosts, Hosts{"c"});
  EXPECT_EQ(settings.host_sel, 0);
}

TEST(SelectPortRulesTest, TypedNameGoesToTheFrontAndIsSelected) {
  const PortSettings after =
      RunOk(Settings(1, {"a", "b"}, 1, 1), [](SelectPortRules& r) { r.combo().Type(" x "); });
  EXPECT_EQ(after.hosts, (Hosts{" x ", "a", "b"}));
  EXPECT_EQ(after.host_sel, 0);

  const PortSettings kept = RunOk(Settings(1, {"a", "b"}, 1, 1), [](SelectPortRules&) {});
  EXPECT_EQ(kept.hosts, (Hosts{"a", "b"}));
  EXPECT_EQ(kept.host_sel, 1);
}

TEST(SelectPortRulesTest, FirstRunStoresOneEmptyHost) {
  const PortSettings after = RunOk(PortSettings{}, [](SelectPortRules&) {});
  EXPECT_EQ(after.hosts, Hosts{""});
  EXPECT_EQ(after.host_sel, 0);
  EXPECT_EQ(after.port, 0);
}

TEST(SelectPortRulesTest, RestartUsesTheComboAsItIsNow) {
  SelectPortRules rules(Settings(1, {"10.0.0.1", "10.0.0.2"}, 0, 1));
  rules.Initialise();
  EXPECT_EQ(rules.RestartHost(), "10.0.0.1");
  rules.combo().Select(1);
  EXPECT_EQ(rules.RestartHost(), "10.0.0.2");
  rules.combo().Type("typed");
  EXPECT_EQ(rules.RestartHost(), "typed");
}

TEST(SelectPortRulesTest, AFoundPrinterGoesToTheFrontSelectedOnceAndTheNetworkIsChosen) {
  // Picked while a typed name is in the edit field: the pick replaces it; an equal entry
  // further down goes, so the host stays in the list once.
  const PortSettings after =
      RunOk(Settings(kPortUsb, {"a", "10.0.0.7", "b"}, 2, 1), [](SelectPortRules& rules) {
        rules.combo().Type("typed");
        // A family that cannot be told leaves the marked type alone.
        EXPECT_FALSE(rules.PickFoundHost("10.0.0.7", -1));
        EXPECT_EQ(rules.checked_type_radio(), 1);
        EXPECT_TRUE(rules.enables().host_combo);
        EXPECT_EQ(rules.combo().edit_text, "10.0.0.7");
      });
  EXPECT_EQ(after.hosts, (Hosts{"10.0.0.7", "a", "b"}));
  EXPECT_EQ(after.host_sel, 0);
  EXPECT_EQ(after.port, kPortNetwork);
}

TEST(SelectPortRulesTest, TheCommunityFieldFollowsTheNetworkAndOnlyASendableOneIsStored) {
  PortSettings start = Settings(kPortUsb, {"a"}, 0, 1);
  start.community = "old";
  SelectPortRules rules(start);
  rules.Initialise();
  EXPECT_EQ(rules.community_text(), "old");
  EXPECT_FALSE(rules.enables().community);
  rules.ClickPortRadio(kPortNetwork);
  EXPECT_TRUE(rules.enables().community);

  // While the text cannot be sent, OK is refused and Restart and Find... keep the old one.
  rules.TypeCommunity("no good");
  EXPECT_TRUE(rules.OkRefusal().has_value());
  EXPECT_EQ(rules.CurrentCommunity(), "old");
  rules.TypeCommunity("");
  EXPECT_TRUE(rules.OkRefusal().has_value());
  rules.TypeCommunity("s3cret");
  EXPECT_FALSE(rules.OkRefusal().has_value());
  EXPECT_EQ(rules.CurrentCommunity(), "s3cret");
  PortSettings after = start;
  rules.Ok();
  rules.ApplyTo(after);
  EXPECT_EQ(after.community, "s3cret");

  // An OK that got through anyway (held while Restart ran) keeps the old community.
  const PortSettings kept = RunOk(start, [](SelectPortRules& r) { r.TypeCommunity("x y"); });
  EXPECT_EQ(kept.community, "old");
  EXPECT_EQ(RunOk(start, [](SelectPortRules&) {}).community, "old");
}

}  // namespace
}  // namespace tavi
