// Differential: two fuzzed sequences, a fuzzed gap and substitution table,
// filled by every kernel the CPU has, alone and (with the sequences the other
// way round as a second problem) two at once; score and every direction cell
// must equal the scalar reference's.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "align/NwKernels.h"

namespace {

// Reads a value of type T from the front of the input, or leaves fallback.
template <typename T>
T Take(const uint8_t*& data, size_t& size, T fallback) {
  if (size < sizeof(T)) return fallback;
  T value;
  std::memcpy(&value, data, sizeof(T));
  data += sizeof(T);
  size -= sizeof(T);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using circog::kResidueClasses;
  const uint8_t mode = Take<uint8_t>(data, size, 0);
  const int32_t gap = mode & 1 ? Take<int32_t>(data, size, -6) : -(Take<uint8_t>(data, size, 6) % 64);
  // A symmetric table; the last class scores 0 against everything. Small
  // entries in one mode, any 32-bit entries in the other.
  std::vector<int32_t> table(kResidueClasses * kResidueClasses, 0);
  for (int p = 0; p + 1 < kResidueClasses; ++p) {
    for (int q = 0; q <= p; ++q) {
      const int32_t entry =
          mode & 2 ? Take<int32_t>(data, size, 0) : Take<int8_t>(data, size, 0) % 18;
      table[p * kResidueClasses + q] = table[q * kResidueClasses + p] = entry;
    }
  }
  const size_t split = size / 2;
  std::vector<uint8_t> first(data, data + split);
  std::vector<uint8_t> second(data + split, data + size);
  for (uint8_t& c : first) c %= kResidueClasses;
  for (uint8_t& c : second) c %= kResidueClasses;

  // The problem, and the same sequences the other way round for a fill of
  // two at once.
  const circog::NwProblem problems[2] = {{first.data(), static_cast<int32_t>(first.size()), second.data(),
                                          static_cast<int32_t>(second.size()), table.data(), gap},
                                         {second.data(), static_cast<int32_t>(second.size()), first.data(),
                                          static_cast<int32_t>(first.size()), table.data(), gap}};
  std::vector<uint8_t> expected[2], actual[2];
  circog::DirectionMatrix reference[2], dirs[2];
  int32_t scores[2];
  circog::NwScratch scratch[2];
  for (int k = 0; k < 2; ++k) {
    const size_t stride = circog::DirectionStride(problems[k].m);
    expected[k].resize(static_cast<size_t>(problems[k].n) * stride + 64);
    actual[k].resize(expected[k].size());
    reference[k] = {expected[k].data(), stride};
    scores[k] = circog::NwFillScalar(problems[k], reference[k], scratch[0]);
  }
  // Kernels may lay their rows out their own way: cells are compared through At.
  auto same = [&](int k, const circog::DirectionMatrix& filled) {
    for (int32_t i = 0; i < problems[k].n; ++i) {
      for (int32_t j = 0; j < problems[k].m; ++j) {
        if (filled.At(i, j) != reference[k].At(i, j)) std::abort();
      }
    }
  };
  for (const circog::NwKernel& kernel : circog::NwKernels()) {
    if (!kernel.supported()) continue;
    std::fill(actual[0].begin(), actual[0].end(), 0);
    dirs[0] = {actual[0].data(), reference[0].stride};
    if (kernel.fill(problems[0], dirs[0], scratch[0]) != scores[0]) std::abort();
    same(0, dirs[0]);
    for (int k = 0; k < 2; ++k) {
      std::fill(actual[k].begin(), actual[k].end(), 0);
      dirs[k] = {actual[k].data(), reference[k].stride};
    }
    int32_t two[2] = {0, 0};
    circog::FillTwo(kernel, problems, dirs, scratch, two);
    for (int k = 0; k < 2; ++k) {
      if (two[k] != scores[k]) std::abort();
      same(k, dirs[k]);
    }
  }
  return 0;
}
