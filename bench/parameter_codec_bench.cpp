// Encode and decode of parameter images of 1 KiB, 16 KiB, 128 KiB and 131,071 bytes.
// The decode figure includes restoring the file bytes before each call (decoding uses its
// source as working storage), a plain copy of the same length.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/files/parameter_codec.h"

namespace {

// A block with the mix of runs and varied bytes that parameter blocks show, plus check byte.
std::vector<std::uint8_t> MakeImage(std::size_t length) {
  std::mt19937 rng(42);
  std::vector<std::uint8_t> image(length);
  for (std::size_t i = 0; i < length; ++i) {
    image[i] = (i > 0 && rng() % 3 == 0) ? image[i - 1] : static_cast<std::uint8_t>(rng());
  }
  if (length > 0) {
    image.back() = tavi::CheckByte(std::span(image).first(length - 1));
  }
  return image;
}

void BM_Encode(benchmark::State& state) {
  std::vector<std::uint8_t> image = MakeImage(static_cast<std::size_t>(state.range(0)));
  std::vector<std::uint8_t> file(image.size() * 2 + 2);
  for (auto _ : state) {
    const std::int32_t n = tavi::ParameterCodec(image, file, true);
    if (n <= 0) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(file.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

void BM_Decode(benchmark::State& state) {
  std::vector<std::uint8_t> image = MakeImage(static_cast<std::size_t>(state.range(0)));
  std::vector<std::uint8_t> encoded(image.size() * 2 + 2);
  const std::int32_t n = tavi::ParameterCodec(image, encoded, true);
  encoded.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  std::vector<std::uint8_t> work(encoded.size());
  std::vector<std::uint8_t> decoded(tavi::kMaxParameterImageLength);
  for (auto _ : state) {
    work = encoded;
    const std::int32_t m = tavi::ParameterCodec(work, decoded, false);
    if (m != state.range(0)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(decoded.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

// The stages alone, on the largest image, to see where the time goes.
void BM_Stages(benchmark::State& state) {
  std::vector<std::uint8_t> image = MakeImage(131071);
  std::vector<std::uint8_t> packed(image.size() * 2 + 2);
  const std::int32_t n = tavi::PackRuns(image, packed);
  packed.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  std::vector<std::uint8_t> out(tavi::kMaxParameterImageLength);
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0:
        benchmark::DoNotOptimize(tavi::PackRuns(image, out));
        break;
      case 1:
        benchmark::DoNotOptimize(tavi::UnpackRuns(packed, out));
        break;
      case 2:
        tavi::ApplyKeyStream(image, true);
        break;
      default:
        benchmark::DoNotOptimize(tavi::InterleaveBits(image, true));
        break;
    }
    benchmark::ClobberMemory();
  }
  state.SetLabel(state.range(0) == 0   ? "PackRuns"
                 : state.range(0) == 1 ? "UnpackRuns"
                 : state.range(0) == 2 ? "ApplyKeyStream"
                                       : "InterleaveBits");
}
BENCHMARK(BM_Stages)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void Sizes(benchmark::internal::Benchmark* b) {
  for (std::int64_t n : {1024, 16384, 131072, 131071}) b->Arg(n);
  b->Unit(benchmark::kMicrosecond)->Complexity(benchmark::oN);
}

BENCHMARK(BM_Encode)->Apply(Sizes);
BENCHMARK(BM_Decode)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
