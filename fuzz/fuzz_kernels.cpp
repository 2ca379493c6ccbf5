// Differential: two fuzzed sequences, a fuzzed gap and substitution table,
// filled by every kernel the CPU has; score and every direction cell must
// equal the scalar reference's.
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

  circog::NwProblem problem{first.data(), static_cast<int32_t>(first.size()), second.data(),
                            static_cast<int32_t>(second.size()), table.data(), gap};
  const size_t stride = circog::DirectionStride(problem.m);
  const size_t cells = first.size() * stride;
  std::vector<uint8_t> expected(cells + 64), actual(cells + 64);
  circog::NwScratch scratch;
  circog::DirectionMatrix reference{expected.data(), stride};
  const int32_t score = circog::NwFillScalar(problem, reference, scratch);
  for (const circog::NwKernel& kernel : circog::NwKernels()) {
    if (!kernel.supported()) continue;
    std::fill(actual.begin(), actual.end(), 0);
    // Kernels may lay their rows out their own way: cells are compared through At.
    circog::DirectionMatrix dirs{actual.data(), stride};
    if (kernel.fill(problem, dirs, scratch) != score) std::abort();
    for (int32_t i = 0; i < problem.n; ++i) {
      for (int32_t j = 0; j < problem.m; ++j) {
        if (dirs.At(i, j) != reference.At(i, j)) std::abort();
      }
    }
  }
  return 0;
}
