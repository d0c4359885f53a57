// Fixed values of the program: access codes, version text, wire constants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavi {

inline constexpr std::size_t kAccessCodeLength = 500;
inline constexpr std::string_view kAccessCodePrefix = "OPEN CODE=";
inline constexpr std::size_t kAccessCodeLineLength = 510;

// Access code A (family 1, "Type1"); also the key stream of the parameter-file codec.
std::string_view AccessCodeA();
// Access code B (every other family number).
std::string_view AccessCodeB();
// "OPEN CODE=" + access code A for family number 1, access code B for every other number.
// 510 characters, no line end, no terminating zero.
std::string_view AccessCodeLine(std::int32_t family_number);

// The product version text, e.g. "3.0".
std::string_view ProductVersion();
// The reverse-DNS desktop application id ("org.tavi.Tavi"), defined once in CMake.
std::string_view AppId();

// Printer commands.
inline constexpr std::string_view kCmdGetReport = "GET REPORT";
inline constexpr std::string_view kCmdGetParam = "GET PARAM";
inline constexpr std::string_view kCmdPutParam = "PUT PARAM";
inline constexpr std::string_view kCmdPutAllParam = "PUT ALL PARAM";
inline constexpr std::string_view kCmdPipeMonitor = "PIPE MONITOR";

// Reply markers.
inline constexpr std::string_view kMarkerReport = "REPORT:";
inline constexpr std::string_view kMarkerReadParam = "READ_PARAM:";

// Console texts.
inline constexpr std::string_view kConsoleRs = "rs\n";
inline constexpr std::string_view kConsoleBootUpdate = "BOOT_UpdateMain 0\n";

// SNMP objects.
inline constexpr std::string_view kReplyOid = ".1.3.6.1.4.1.7405.2.2.2.1.24.1";
inline constexpr std::string_view kRestartOid = ".1.3.6.1.4.1.7405.2.8.1.0";
inline constexpr std::int32_t kRestartValue = 10;
// The community of a fresh install; the settings keep the one in use.
inline constexpr std::string_view kSnmpCommunity = "public";
// The longest SNMP community taken. Every request must stay within short-form BER lengths, and a
// discovery request asks four objects at once; 32 characters leave room for both.
inline constexpr std::size_t kMaxCommunityLength = 32;
inline constexpr std::int32_t kSnmpVersion = 0;  // SNMPv1
// The enterprise number of the printer family, under which its own objects lie.
inline constexpr std::string_view kFamilyEnterpriseOid = ".1.3.6.1.4.1.7405";
static_assert(kReplyOid.starts_with(kFamilyEnterpriseOid) &&
              kRestartOid.starts_with(kFamilyEnterpriseOid));
// Names of the two printer families, by machine type (family number - 1).
inline constexpr std::string_view kFamilyNames[] = {"Type1", "Type2"};
// The standard system group objects that say what a device is.
inline constexpr std::string_view kSysDescrOid = ".1.3.6.1.2.1.1.1.0";
inline constexpr std::string_view kSysObjectIdOid = ".1.3.6.1.2.1.1.2.0";
inline constexpr std::string_view kSysNameOid = ".1.3.6.1.2.1.1.5.0";

// LPD.
inline constexpr std::string_view kLpdQueue = "lp1";
inline constexpr std::uint16_t kDefaultLpdPort = 515;
inline constexpr std::uint16_t kDefaultSnmpPort = 161;

// Fixed waits, in milliseconds.
inline constexpr int kWaitAfterCommandMs = 300;
inline constexpr int kWaitPollMs = 5;
inline constexpr int kWaitBeforeConsoleMs = 300;
inline constexpr int kWaitAfterRsMs = 3000;
inline constexpr int kWaitResetMs = 3000;
inline constexpr int kRestartTotalMs = 6000;
inline constexpr int kRestartStepMs = 250;

// Parallel and USB devices.
// Hardware id prefixes of this family's USB printers, in match order.
inline constexpr std::string_view kUsbHardwareIdPrefixes[] = {
    "USB\\VID_0E2A&PID_0101", "USB\\VID_0E2A&PID_0102", "USB\\VID_0E2A&PID_0103"};
inline constexpr std::size_t kParallelReplyBufferSize = 512;
inline constexpr std::size_t kUsbReplyBufferSize = 1024;
inline constexpr std::size_t kUsbWriteChunk = 4096;
// Longest a single device transfer attempt may block before Cancel is looked at again.
inline constexpr int kDeviceAttemptMs = 1000;
inline constexpr std::uint8_t kUsbPrinterClass = 7;
inline constexpr std::string_view kDeviceGroup = "lp";

}  // namespace tavi
