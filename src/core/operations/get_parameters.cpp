#include "core/operations/get_parameters.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/connection/printer_connection.h"
#include "core/files/parameter_codec.h"
#include "core/operations/flow_files.h"
#include "core/protocol/check_byte.h"
#include "core/protocol/operations.h"

namespace tavi {

FlowOutcome GetParametersFlow(PrinterConnection& connection, FileChooser& chooser) {
  std::vector<std::uint8_t> image(kParameterCapacity);
  const std::int32_t n = GetParameters(connection, image);
  if (n <= 0 || n >= kParameterCapacity) return FlowOutcome::kFailed;
  image[static_cast<std::size_t>(n)] =
      CheckByte(std::span(image).first(static_cast<std::size_t>(n)));

  std::vector<std::uint8_t> file(kParameterCapacity);
  const std::int32_t e = ParameterCodec(std::span(image).first(static_cast<std::size_t>(n) + 1),
                                        file, /*encode=*/true);
  if (e <= 0) return FlowOutcome::kFailed;
  return SaveBytes(std::as_bytes(std::span(file).first(static_cast<std::size_t>(e))),
                   FileKind::kParameterFile, chooser, connection.messages());
}

}  // namespace tavi
