// Decodes arbitrary bytes as an SNMP response and renders what was decoded into bounded texts
// of the client's capacities. The address sanitizer flags any read outside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/net/ber.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that a read past the datagram is caught.
  const std::vector<std::byte> datagram(reinterpret_cast<const std::byte*>(data),
                                        reinterpret_cast<const std::byte*>(data) + size);
  tavi::ber::DecodedMessage decoded;
  tavi::BoundedText trace(4096);
  tavi::BoundedText value(514);
  tavi::ber::AppendTraceDump(datagram, trace);
  if (!tavi::ber::DecodeResponse(datagram, decoded)) {
    if (!decoded.name.empty() || !decoded.value.empty()) std::abort();
    return 0;
  }
  // The decoded fields lie inside the datagram and agree with their lengths.
  const std::byte* begin = datagram.data();
  const std::byte* end = begin + datagram.size();
  for (std::span<const std::byte> field : {decoded.name, decoded.value}) {
    if (!field.empty() && (field.data() < begin || field.data() + field.size() > end)) std::abort();
  }
  if (decoded.name.size() != static_cast<std::size_t>(decoded.name_length) ||
      decoded.value.size() != static_cast<std::size_t>(decoded.value_length)) {
    std::abort();
  }
  tavi::ber::AppendValueText(decoded, value);
  tavi::ber::AppendTraceDecoded(decoded, trace);
  if (value.size() >= value.capacity() || trace.size() >= trace.capacity()) std::abort();
  return 0;
}
