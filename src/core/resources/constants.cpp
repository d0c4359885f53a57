#include "core/resources/constants.h"

#include <array>

#include "tavi_generated_constants.h"

namespace tavi {
namespace {

constexpr std::string_view kCodeA = TAVI_GENERATED_ACCESS_CODE_A;
constexpr std::string_view kCodeB = TAVI_GENERATED_ACCESS_CODE_B;
static_assert(kCodeA.size() == kAccessCodeLength);
static_assert(kCodeB.size() == kAccessCodeLength);

const std::string& LineFor(std::string_view code) {
  // Built once; both lines live for the whole run.
  static const std::string line_a = std::string(kAccessCodePrefix) + std::string(kCodeA);
  static const std::string line_b = std::string(kAccessCodePrefix) + std::string(kCodeB);
  return code == kCodeA ? line_a : line_b;
}

}  // namespace

std::string_view AccessCodeA() {
  return kCodeA;
}
std::string_view AccessCodeB() {
  return kCodeB;
}

std::string_view AccessCodeLine(std::int32_t family_number) {
  return LineFor(family_number == 1 ? kCodeA : kCodeB);
}

std::string_view ProductVersion() {
  return TAVI_GENERATED_PRODUCT_VERSION;
}

std::string_view AppId() {
  return TAVI_GENERATED_APP_ID;
}

}  // namespace tavi
