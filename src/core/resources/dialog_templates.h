// The windows of the program as plain data: each dialog template gives its caption, its font,
// its size and every control with id, kind, text and rectangle in dialog units. A front end
// builds its windows from these; the positions are converted with the font's base units.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tavi {

// Template numbers.
inline constexpr int kDlgAbout = 100;
inline constexpr int kDlgMain = 102;
inline constexpr int kDlgGetReport = 129;
inline constexpr int kDlgSelectPort = 130;
inline constexpr int kDlgProgress = 131;
inline constexpr int kDlgSetHeadRank = 132;

// Control ids shared by several dialogs.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdStatic = -1;  // labels, icons and group boxes nobody addresses

// Main dialog (102).
inline constexpr int kIdSelectPort = 1000;
inline constexpr int kIdGetReport = 1001;
inline constexpr int kIdGetParameters = 1002;
inline constexpr int kIdPutParameters = 1003;
inline constexpr int kIdSetHeadRank = 1004;
inline constexpr int kIdFirmwareUpgrade = 1005;
inline constexpr int kIdAllCheck = 1015;
inline constexpr int kIdDevelopmentLabel = 1021;
// The command buttons, in the order in which they are enabled and disabled.
inline constexpr int kCommandButtonIds[] = {
    kIdSelectPort,      kIdGetReport, kIdGetParameters, kIdPutParameters, kIdSetHeadRank,
    kIdFirmwareUpgrade, kIdOk};

// About box (100).
inline constexpr int kIdVersionText = 1019;

// Get Report (129).
inline constexpr int kIdReportSave = 1001;
inline constexpr int kIdReportText = 1003;

// Select Port (130).
inline constexpr int kIdPortParallel = 1004;
inline constexpr int kIdPortNetwork = 1005;
inline constexpr int kIdHostCombo = 1006;
inline constexpr int kIdDeleteHost = 1007;
inline constexpr int kIdRestart = 1008;
inline constexpr int kIdPortUsb = 1009;
inline constexpr int kIdType1 = 1016;
inline constexpr int kIdType2 = 1017;
// Our addition to the template: discovery, in the free space above "Delete Host".
inline constexpr int kIdFind = 1010;
// Our addition to the template: the SNMP community of the network port, below the host box.
inline constexpr int kIdCommunity = 1018;

// Progress (131).
inline constexpr int kIdProgressBar = 1008;

// Set Head Rank (132).
inline constexpr int kIdHeadNumber = 1011;
inline constexpr int kIdRankField1 = 1012;  // fields 1..6 are 1012..1017
inline constexpr int kIdRankField6 = 1017;
inline constexpr int kIdReference = 4;

enum class ControlKind {
  kPushButton,
  kDefPushButton,
  kAutoCheckBox,
  kAutoRadioButton,
  kLabel,
  kIcon,
  kEdit,
  kRichEdit,
  kComboBox,      // drop-down with an edit field
  kDropDownList,  // drop-down without an edit field
  kProgressBar,
  kGroupBox,
};

// Control style bits.
enum ControlStyle : std::uint32_t {
  kStyleNone = 0,
  kStyleGroup = 1u << 0,  // starts a group (radio buttons up to the next group start)
  kStyleTabStop = 1u << 1,
  kStyleReadOnly = 1u << 2,
  kStyleMultiLine = 1u << 3,
  kStyleVScroll = 1u << 4,
  kStyleBorder = 1u << 5,
  kStyleSorted = 1u << 6,
  kStyleAutoHScroll = 1u << 7,
};

struct ControlTemplate {
  int id = kIdStatic;
  ControlKind kind = ControlKind::kLabel;
  std::string_view text;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  std::uint32_t style = kStyleNone;
  int max_length = 0;  // edits: most characters accepted; 0 = no limit
};

// Window frame bits.
enum DialogStyle : std::uint32_t {
  kDlgStyleNone = 0,
  kDlgSysMenu = 1u << 0,  // close box
  kDlgMinimizeBox = 1u << 1,
  kDlgToolWindow = 1u << 2,
};

struct DialogTemplate {
  int id = 0;
  std::string_view caption;
  std::string_view font;  // empty: the system's dialog font
  int font_points = 0;    // 0 with an empty font
  int width = 0;          // dialog units
  int height = 0;
  std::uint32_t style = kDlgStyleNone;
  std::span<const ControlTemplate> controls;

  // The first control with `id`, or null.
  const ControlTemplate* Find(int control_id) const;
};

// The template with number `id`, or null for a number no window uses.
const DialogTemplate* FindDialogTemplate(int id);

// The font's dialog base units in pixels: average character width and character height.
struct BaseUnits {
  int x = 0;
  int y = 0;
};

struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const PixelRect&) const = default;
};

// x and width scale by base.x / 4, y and height by base.y / 8 (integer arithmetic).
PixelRect DialogUnitsToPixels(int x, int y, int width, int height, BaseUnits base);
inline PixelRect DialogUnitsToPixels(const ControlTemplate& c, BaseUnits base) {
  return DialogUnitsToPixels(c.x, c.y, c.width, c.height, base);
}

}  // namespace tavi
