#pragma once
// The fill kernels built into this binary, and the one chosen for this CPU.

#include <span>

#include "align/NwFill.h"

namespace circog {

struct NwKernel {
  const char* name;
  NwFillFn fill;
  bool (*supported)();
};

// Every kernel built in, the scalar reference first.
std::span<const NwKernel> NwKernels();

// The fastest kernel this CPU supports, chosen once at first use.
const NwKernel& BestNwKernel();

}  // namespace circog
