// zlib's crc32 over the same 16 MiB as the CRC-32 benchmark of the package
// benchmarks: the peer figure for our own CRC-32.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include "builders.h"

namespace {

void ZlibCrc32(benchmark::State& state) {
  static const skyfw::tool::Bytes data = skyfw::tool::FillerBytes(16u << 20, 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(crc32_z(crc32_z(0, nullptr, 0), data.data(), data.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(ZlibCrc32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
