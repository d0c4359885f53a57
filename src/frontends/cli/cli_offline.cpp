#include "frontends/cli/cli_offline.h"

#include <string>
#include <vector>

#include "core/connection/port_listing.h"
#include "core/files/parameter_codec.h"
#include "core/files/parameter_diff.h"
#include "core/protocol/check_byte.h"
#include "core/resources/strings.h"
#include "frontends/cli/cli_texts.h"
#include "os/file_io.h"
#include "os/terminal.h"

namespace tavi::cli {
namespace {

// The text of params diff shows at most this many bytes of each side of a range (--json: all).
constexpr std::size_t kDiffBytesShown = 32;

void Line(std::FILE* stream, std::string_view text) {
  (void)WriteText(stream, std::string(text) + "\n");
  std::fflush(stream);
}

std::span<const std::byte> AsBytes(std::span<const std::uint8_t> bytes) {
  return std::as_bytes(bytes);
}

// Reads and checks a parameter file: `image` becomes its parameter image (block and check
// byte). kExitSuccess, or kExitUsage with the refusal shown (with `details` beside it).
int DecodeParameterFile(const std::string& path, CliMessages& messages,
                        std::vector<std::uint8_t>& image, std::string_view details = {}) {
  std::vector<std::byte> raw;
  FileError error;
  // Only the first 131,072 bytes of a parameter file count.
  if (!ReadFileLimited(path, kMaxParameterFileLength, raw, error)) {
    messages.ShowFileError(error);
    return kExitUsage;
  }
  std::vector<std::uint8_t> file(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) file[i] = static_cast<std::uint8_t>(raw[i]);
  image.assign(kMaxParameterImageLength, 0);
  const std::int32_t length = ParameterCodec(file, image, /*encode=*/false);
  // An image of the check byte alone holds no block; the printer never gives one.
  if (length < 2 || !IsValidParameterImage(std::span(image).first(length))) {
    messages.ShowMessage(kIdsIllegalParameterFile, details);
    return kExitUsage;
  }
  image.resize(static_cast<std::size_t>(length));
  return kExitSuccess;
}

// One side of a comparison: the block of a parameter file, or a raw block file as it stands.
int ReadComparedBlock(const std::string& path, bool raw, CliMessages& messages,
                      std::vector<std::uint8_t>& block) {
  if (!raw) {
    // Which of the two files is refused is said beside the message.
    const int status = DecodeParameterFile(path, messages, block, path);
    if (status == kExitSuccess) block.pop_back();  // the check byte
    return status;
  }
  std::vector<std::byte> bytes;
  FileError error;
  // One byte more than a block may hold, to tell a block that is too long.
  if (!ReadFileLimited(path, kMaxParameterBlockLength + 1, bytes, error)) {
    messages.ShowFileError(error);
    return kExitUsage;
  }
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(kMaxParameterBlockLength)) {
    messages.ShowText(kTextBlockSize, path);
    return kExitUsage;
  }
  block.resize(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) block[i] = static_cast<std::uint8_t>(bytes[i]);
  return kExitSuccess;
}

}  // namespace

int RunParamsDecode(const Invocation& invocation, std::FILE* out, CliMessages& messages,
                    CommandResult& result) {
  std::vector<std::uint8_t> image;
  if (const int status = DecodeParameterFile(invocation.file, messages, image);
      status != kExitSuccess) {
    return status;
  }
  const auto block = std::span<const std::uint8_t>(image).first(image.size() - 1);
  // With the block on standard output, its length goes to standard error.
  if (invocation.output == kStdoutName) {
    const bool written =
        WriteText(out,
                  std::string_view(reinterpret_cast<const char*>(block.data()), block.size())) &&
        std::fflush(out) == 0;
    if (!written) {
      messages.ShowText("Could not write standard output.");
      return kExitFailed;
    }
    result.block_length = static_cast<std::int64_t>(block.size());
    Line(stderr, std::to_string(block.size()));
    return kExitSuccess;
  }
  FileError error;
  if (!invocation.output.empty() &&
      !WriteFileAtomically(invocation.output, AsBytes(block), error)) {
    messages.ShowFileError(error);
    return kExitFailed;
  }
  result.block_length = static_cast<std::int64_t>(block.size());
  if (!invocation.json) Line(out, std::to_string(block.size()));
  return kExitSuccess;
}

int RunParamsDiff(const Invocation& invocation, std::FILE* out, CliMessages& messages,
                  CommandResult& result) {
  std::vector<std::uint8_t> a;
  std::vector<std::uint8_t> b;
  if (const int status = ReadComparedBlock(invocation.file, invocation.raw_a, messages, a);
      status != kExitSuccess) {
    return status;
  }
  if (const int status = ReadComparedBlock(invocation.file_b, invocation.raw_b, messages, b);
      status != kExitSuccess) {
    return status;
  }
  const BlockDiff diff = DiffBlocks(a, b);
  BlockComparison comparison{diff.length_a, diff.length_b, {}};
  for (const DiffRange& range : diff.ranges) {
    const auto side = [&](std::span<const std::uint8_t> block) -> std::optional<std::string> {
      if (range.offset >= block.size()) return std::nullopt;
      return RangeHex(block, range);
    };
    comparison.ranges.push_back({range.offset, range.length, side(a), side(b)});
  }
  result.comparison = std::move(comparison);
  if (!invocation.json) {
    std::string text;
    if (diff.equal()) {
      text = "The parameter blocks are equal (" + std::to_string(a.size()) + " bytes).\n";
    } else {
      text = "The parameter blocks differ in " + std::to_string(diff.ranges.size()) +
             (diff.ranges.size() == 1 ? " range" : " ranges") +
             " (the first file's bytes | the second's):\n" +
             DescribeDiff(a, b, diff, diff.ranges.size(), kDiffBytesShown);
    }
    if (!WriteText(out, text) || std::fflush(out) != 0) {
      messages.ShowText("Could not write standard output.");
      return kExitUsage;
    }
  }
  return diff.equal() ? kExitSuccess : kExitDifferent;
}

int RunParamsEncode(const Invocation& invocation, CliMessages& messages) {
  std::vector<std::byte> raw;
  FileError error;
  // One byte more than a block may hold, to tell a block that is too long.
  if (!ReadFileLimited(invocation.block, kMaxParameterBlockLength + 1, raw, error)) {
    messages.ShowFileError(error);
    return kExitUsage;
  }
  if (raw.empty() || raw.size() > static_cast<std::size_t>(kMaxParameterBlockLength)) {
    messages.ShowText(kTextBlockSize);
    return kExitUsage;
  }
  std::vector<std::uint8_t> image(raw.size() + 1);
  for (std::size_t i = 0; i < raw.size(); ++i) image[i] = static_cast<std::uint8_t>(raw[i]);
  image.back() = CheckByte(std::span(image).first(raw.size()));
  std::vector<std::uint8_t> file(kMaxParameterFileLength);
  const std::int32_t length = ParameterCodec(image, file, /*encode=*/true);
  if (length <= 0) {
    // Packing can grow a block past what a parameter file may hold.
    messages.ShowText(kTextBlockTooBig);
    return kExitUsage;
  }
  if (!WriteFileAtomically(invocation.file,
                           AsBytes(std::span<const std::uint8_t>(file).first(length)), error)) {
    messages.ShowFileError(error);
    return kExitFailed;
  }
  return kExitSuccess;
}

int RunPorts(const Invocation& invocation, std::FILE* out, CliMessages& messages,
             CommandResult& result) {
  auto parallel = MakeSystemParallelBackend();
  auto usb = MakeSystemUsbBackend();
  const PortListing listing = ListPorts(parallel.get(), usb.get());
  result.ports = listing;
  if (!invocation.json) {
    WritePortListing(listing, out, stderr);
    return kExitSuccess;
  }
  if (!listing.parallel_error.empty()) messages.ShowText(listing.parallel_error);
  if (!listing.usb_error.empty()) messages.ShowText(listing.usb_error);
  if (listing.parallel.empty() && listing.usb.empty()) result.message = kTextNoPrinters;
  return kExitSuccess;
}

void WritePortListing(const PortListing& listing, std::FILE* out, std::FILE* err) {
  if (!listing.parallel_error.empty()) Line(err, listing.parallel_error);
  if (!listing.usb_error.empty()) Line(err, listing.usb_error);
  if (listing.parallel.empty() && listing.usb.empty()) {
    Line(out, kTextNoPrinters);
    return;
  }
  const std::string text = FormatPortListing(listing);
  (void)WriteText(out, !text.empty() && text.back() != '\n' ? text + "\n" : text);
  std::fflush(out);
}

}  // namespace tavi::cli
