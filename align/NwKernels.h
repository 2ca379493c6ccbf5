#pragma once
// The fill kernels built into this binary, and the one chosen for this CPU.

#include <span>

#include "align/NwFill.h"

namespace circog {

struct NwKernel {
  const char* name;
  NwFillFn fill;
  NwFillTwoFn fillTwo;  // null: the two problems are filled in turn
  NwClassifyFn classify;
  bool (*supported)();
};

// Fills two problems with the kernel, at once where it can.
void FillTwo(const NwKernel& kernel, const NwProblem* problems, DirectionMatrix* dirs, NwScratch* scratch,
             int32_t* scores);

// Every kernel built in, the scalar reference first.
std::span<const NwKernel> NwKernels();

// The fastest kernel this CPU supports, chosen once at first use.
const NwKernel& BestNwKernel();

}  // namespace circog
