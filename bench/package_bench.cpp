// Speed of the package path on a 16 MiB package of signed images: CRC-32 and
// SHA-256 alone (each engine), reading the file, verifying it. The package
// file stays in the temporary directory, named in the output's context as
// "package_file", so that other programs can be timed on the same bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "builders.h"
#include "integrity/crc32.h"
#include "integrity/rsa_signature.h"
#include "integrity/sha256.h"
#include "package/package_format.h"
#include "package/package_verifier.h"

namespace skyfw {
namespace {

constexpr size_t kPackageSize = 16u << 20;

// Eight images of 2 MiB less a little, alternating the two signed framings,
// so the package comes to just under 16 MiB.
const tool::Bytes& Package() {
  static const tool::Bytes package = [] {
    auto signer = tool::ImageSigner::Development();
    tool::PackagePlan plan;
    plan.version = "21.6.2";
    plan.device_ids = {0x1657};
    const size_t payload = (kPackageSize / 8) - 1024;
    for (uint16_t i = 0; i < 8; ++i) {
      tool::PackageItemPlan item;
      item.ordinal = i;
      if (i % 2 == 0) {
        item.type = 10;
        item.data = tool::BuildHeaderSignedImage(*signer, 7, tool::FillerBytes(payload, i));
      } else {
        item.type = 8;
        item.data = tool::BuildTrailerSignedImage(*signer, 8, tool::FillerBytes(payload, i));
      }
      plan.items.push_back(std::move(item));
    }
    tool::Bytes bytes;
    if (tool::BuildPackage(plan, bytes) != NVCRETVAL_SUCCESS) std::abort();
    return bytes;
  }();
  return package;
}

const std::string& PackageFile() {
  static const std::string path = [] {
    std::string name = (std::filesystem::temp_directory_path() / "skyfw_bench_16m.pkg").string();
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) std::abort();
    const bool written =
        std::fwrite(Package().data(), 1, Package().size(), file) == Package().size();
    if (std::fclose(file) != 0 || !written) std::abort();
    return name;
  }();
  return path;
}

void Crc32Fast(benchmark::State& state) {
  const tool::Bytes& data = Package();
  for (auto _ : state) benchmark::DoNotOptimize(Crc32(kCrc32Seed, data));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(Crc32Fast)->Unit(benchmark::kMillisecond);

void Crc32Slicing8(benchmark::State& state) {
  const tool::Bytes& data = Package();
  for (auto _ : state) benchmark::DoNotOptimize(crc32_detail::Slicing8(kCrc32Seed, data));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(Crc32Slicing8)->Unit(benchmark::kMillisecond);

void Crc32Bytewise(benchmark::State& state) {
  const tool::Bytes& data = Package();
  for (auto _ : state) benchmark::DoNotOptimize(crc32_detail::Bytewise(kCrc32Seed, data));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(Crc32Bytewise)->Unit(benchmark::kMillisecond);

void Sha256WithEngine(benchmark::State& state, Sha256Engine engine) {
  const tool::Bytes& data = Package();
  for (auto _ : state) {
    Sha256Context context;
    Sha256InitWithEngine(context, engine);
    Sha256Update(context, data);
    Sha256Digest digest;
    Sha256Final(context, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK_CAPTURE(Sha256WithEngine, ShaExtensions, Sha256Engine::kShaExtensions)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Sha256WithEngine, Portable, Sha256Engine::kPortable)
    ->Unit(benchmark::kMillisecond);

// One signature check of a small image: the RSA work alone.
void RsaSignatureCheck(benchmark::State& state) {
  static const tool::Bytes data = tool::FillerBytes(64, 1);
  static const tool::Bytes signature = tool::ImageSigner::Development()->Sign(data);
  for (auto _ : state) {
    if (VerifyRsaSignature(data, signature) != NVCRETVAL_SUCCESS) state.SkipWithError("failed");
  }
}
BENCHMARK(RsaSignatureCheck)->Unit(benchmark::kMicrosecond);

// Both halves of the package at once (the verifier pairs up its images).
void Sha256TwoAtOnce(benchmark::State& state) {
  const ByteView data(Package());
  const size_t half = data.size() / 2;
  for (auto _ : state) {
    Sha256Digest first;
    Sha256Digest second;
    Sha256Pair(data.first(half), data.subspan(half), first, second);
    benchmark::DoNotOptimize(first);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(Sha256TwoAtOnce)->Unit(benchmark::kMillisecond);

void ReadPackage(benchmark::State& state) {
  const std::string& path = PackageFile();
  for (auto _ : state) {
    NvmPackage package;
    if (ReadPackageFile(path, package) != NVCRETVAL_SUCCESS) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(package.file().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Package().size()));
}
BENCHMARK(ReadPackage)->Unit(benchmark::kMillisecond);

void VerifyPackageInMemory(benchmark::State& state) {
  const tool::Bytes& data = Package();
  for (auto _ : state) {
    int32_t index = 0;
    if (VerifyPackage(data, &index) != NVCRETVAL_SUCCESS) state.SkipWithError("verify failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(VerifyPackageInMemory)->Unit(benchmark::kMillisecond);

void ReadAndVerifyPackage(benchmark::State& state) {
  const std::string& path = PackageFile();
  for (auto _ : state) {
    NvmPackage package;
    if (ReadPackageFile(path, package) != NVCRETVAL_SUCCESS ||
        VerifyPackage(package.package()) != NVCRETVAL_SUCCESS) {
      state.SkipWithError("read or verify failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Package().size()));
}
BENCHMARK(ReadAndVerifyPackage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skyfw

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("package_file", skyfw::PackageFile());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
