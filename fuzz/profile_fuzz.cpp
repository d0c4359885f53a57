// Parses arbitrary bytes as a profile file, reads the settings keys, writes keys and checks that
// an unchanged file serialises byte for byte and that writes keep what was there.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "os/profile_file.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tavi::ProfileFile file = tavi::ProfileFile::Parse(text);
  Check(file.Serialize() == text);

  const tavi::ProfileSection port = file.ReadSection("Port");
  const std::int32_t count = port.GetInt("NumHost", 0);
  for (std::int32_t i = 0; i < count && i < 64; ++i) {
    const std::string host = port.GetString("Host" + std::to_string(i), "");
    Check(host.size() <= tavi::kProfileMaxStringLength);
  }
  (void)port.GetInt("Port", 0);
  (void)port.GetInt("HostSel", 0);
  (void)port.GetInt("Win9X_ExtraDelay", 22000);
  (void)port.GetInt("MachineType", 1);

  // A value taken from the input itself, so that odd bytes reach the writer too.
  const std::string value(text.substr(0, text.size() < 64 ? text.size() : 64));
  file.SetInt("Port", "NumHost", count);
  file.SetString("Port", "Host0", value);
  const std::string out = file.Serialize();
  const tavi::ProfileFile again = tavi::ProfileFile::Parse(out);
  Check(again.GetInt("port", "numhost", -7) == count);
  Check(again.Serialize() == out);
  Check(again.line_count() == file.line_count());
  return 0;
}
