#include "core/resources/dialog_templates.h"

#include <array>

#include "core/resources/constants.h"

namespace tavi {
namespace {

using K = ControlKind;

constexpr ControlTemplate kAboutControls[] = {
    {kIdStatic, K::kIcon, "", 11, 17, 20, 20},
    {kIdStatic, K::kLabel, "Tavi Version", 40, 10, 119, 8},
    {kIdVersionText, K::kLabel, "aaa", 40, 22, 119, 8},
    {kIdStatic, K::kLabel, "Maintenance utility for wide-format printers.", 40, 34, 170, 8},
    {kIdOk, K::kDefPushButton, "OK", 168, 50, 50, 14, kStyleGroup | kStyleTabStop},
};

constexpr ControlTemplate kMainControls[] = {
    {kIdSelectPort, K::kPushButton, "Select Port", 7, 10, 87, 15, kStyleTabStop},
    {kIdGetReport, K::kPushButton, "Get Report", 7, 28, 87, 15, kStyleTabStop},
    {kIdGetParameters, K::kPushButton, "Get Parameters", 7, 46, 87, 15, kStyleTabStop},
    {kIdPutParameters, K::kPushButton, "Put Parameters", 7, 64, 87, 15, kStyleTabStop},
    {kIdSetHeadRank, K::kPushButton, "Set Head Rank", 7, 92, 87, 15, kStyleTabStop},
    {kIdOk, K::kPushButton, "Exit", 7, 128, 87, 15, kStyleTabStop},
    {kIdFirmwareUpgrade, K::kPushButton, "Firmware Upgrade", 7, 110, 87, 15, kStyleTabStop},
    {kIdAllCheck, K::kAutoCheckBox, "all", 71, 80, 23, 10, kStyleTabStop},
    {kIdDevelopmentLabel, K::kLabel, "For development", 6, 1, 84, 8},
};

constexpr ControlTemplate kGetReportControls[] = {
    {kIdReportSave, K::kPushButton, "Save", 7, 7, 50, 14, kStyleTabStop},
    {kIdOk, K::kDefPushButton, "OK", 61, 7, 50, 14, kStyleTabStop},
    {kIdReportText, K::kRichEdit, "", 7, 27, 322, 285,
     kStyleMultiLine | kStyleReadOnly | kStyleBorder | kStyleVScroll | kStyleTabStop},
};

constexpr ControlTemplate kSelectPortControls[] = {
    {kIdOk, K::kDefPushButton, "OK", 133, 111, 50, 14, kStyleTabStop},
    {kIdCancel, K::kPushButton, "Cancel", 192, 111, 50, 14, kStyleTabStop},
    {kIdPortParallel, K::kAutoRadioButton, "via Parallel Port", 17, 63, 64, 14,
     kStyleGroup | kStyleTabStop},
    {kIdPortNetwork, K::kAutoRadioButton, "via Network", 17, 78, 62, 13, kStyleTabStop},
    {kIdHostCombo, K::kComboBox, "", 84, 79, 126, 54, kStyleVScroll | kStyleTabStop},
    {kIdPortUsb, K::kAutoRadioButton, "via USB", 17, 93, 40, 13, kStyleTabStop},
    {kIdDeleteHost, K::kPushButton, "Delete Host", 217, 78, 50, 13, kStyleTabStop},
    {kIdRestart, K::kPushButton, "Restart", 278, 78, 39, 13, kStyleTabStop},
    {kIdFind, K::kPushButton, "Find...", 217, 60, 50, 13, kStyleTabStop},
    {kIdStatic, K::kLabel, "Community:", 84, 96, 42, 8},
    {kIdCommunity, K::kEdit, "", 128, 94, 82, 12, kStyleAutoHScroll | kStyleTabStop | kStyleBorder,
     static_cast<int>(kMaxCommunityLength)},
    {kIdStatic, K::kLabel, "Product:", 7, 7, 35, 8, kStyleGroup},
    {kIdStatic, K::kLabel, "Select port:", 7, 56, 43, 8, kStyleGroup},
    {kIdType1, K::kAutoRadioButton, "Type1", 15, 18, 36, 10, kStyleGroup},
    {kIdType2, K::kAutoRadioButton, "Type2", 15, 34, 36, 10},
    {kIdStatic, K::kLabel, "Type1 models", 64, 19, 81, 8, kStyleGroup},
    {kIdStatic, K::kLabel, "Type2 models", 64, 35, 49, 8, kStyleGroup},
};

constexpr ControlTemplate kProgressControls[] = {
    {kIdCancel, K::kPushButton, "Cancel", 52, 28, 50, 14, kStyleTabStop},
    {kIdProgressBar, K::kProgressBar, "", 7, 7, 140, 13, kStyleBorder},
};

constexpr std::uint32_t kRankEdit = kStyleAutoHScroll | kStyleTabStop | kStyleBorder;

constexpr ControlTemplate kSetHeadRankControls[] = {
    {kIdHeadNumber, K::kDropDownList, "", 11, 17, 29, 91,
     kStyleSorted | kStyleVScroll | kStyleTabStop},
    {1012, K::kEdit, "7BZ3E3C", 57, 17, 43, 12, kRankEdit, 7},
    {1013, K::kEdit, "VXUWVUQ", 57, 31, 43, 12, kRankEdit, 7},
    {1014, K::kEdit, "Q", 57, 45, 11, 12, kRankEdit, 1},
    {1015, K::kEdit, "2100Y", 70, 45, 30, 12, kRankEdit, 5},
    {1016, K::kEdit, "012VTTR", 57, 59, 43, 12, kRankEdit, 7},
    {1017, K::kEdit, "40UWJB", 62, 73, 38, 12, kRankEdit, 6},
    {kIdReference, K::kPushButton, "Reference...", 53, 89, 52, 14, kStyleTabStop},
    {kIdOk, K::kPushButton, "Set", 7, 73, 36, 14, kStyleTabStop},
    {kIdCancel, K::kPushButton, "Cancel", 7, 92, 36, 14, kStyleTabStop},
    {kIdStatic, K::kGroupBox, "Head Rank", 46, 7, 65, 100},
    {kIdStatic, K::kGroupBox, "Head No.", 7, 7, 38, 28},
};

constexpr std::string_view kDialogFont = "MS Gothic";

constexpr std::array<DialogTemplate, 6> kTemplates = {{
    {kDlgAbout, "Version of Tavi", "", 0, 225, 70, kDlgSysMenu, kAboutControls},
    {kDlgMain, "Tavi", "", 0, 101, 147, kDlgSysMenu, kMainControls},
    {kDlgGetReport, "Get Report", kDialogFont, 9, 336, 319, kDlgSysMenu | kDlgMinimizeBox,
     kGetReportControls},
    {kDlgSelectPort, "Select Port", kDialogFont, 9, 324, 142, kDlgSysMenu, kSelectPortControls},
    {kDlgProgress, "Communicating...", "", 0, 154, 48, kDlgToolWindow, kProgressControls},
    {kDlgSetHeadRank, "Set Head Rank", kDialogFont, 9, 118, 113, kDlgStyleNone,
     kSetHeadRankControls},
}};

}  // namespace

const ControlTemplate* DialogTemplate::Find(int control_id) const {
  for (const ControlTemplate& c : controls) {
    if (c.id == control_id) return &c;
  }
  return nullptr;
}

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& t : kTemplates) {
    if (t.id == id) return &t;
  }
  return nullptr;
}

PixelRect DialogUnitsToPixels(int x, int y, int width, int height, BaseUnits base) {
  return PixelRect{x * base.x / 4, y * base.y / 8, width * base.x / 4, height * base.y / 8};
}

}  // namespace tavi
