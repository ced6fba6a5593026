// MD5 runs over every screenshot, update, transfer and name: the module's
// SeededMd5 next to OpenSSL's MD5 on the same inputs (64 bytes, 1 MiB).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <vector>

#include "util/seeded_md5.h"

namespace {

std::vector<uint8_t> Input(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = 12345;
  for (uint8_t& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 24);
  }
  return bytes;
}

void BM_SeededMd5(benchmark::State& state) {
  const std::vector<uint8_t> bytes = Input(static_cast<size_t>(state.range(0)));
  SeededMd5 md5;
  for (auto _ : state) {
    md5.Digest(bytes.data(), static_cast<int32_t>(bytes.size()), 0);
    benchmark::DoNotOptimize(md5.DigestBytes());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SeededMd5)->Arg(64)->Arg(1 << 20);

void BM_OpenSslMd5(benchmark::State& state) {
  const std::vector<uint8_t> bytes = Input(static_cast<size_t>(state.range(0)));
  const EVP_MD* md5 = EVP_md5();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (auto _ : state) {
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, md5, nullptr);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenSslMd5)->Arg(64)->Arg(1 << 20);

}  // namespace
