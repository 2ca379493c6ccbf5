#include "align/NwKernels.h"

namespace circog {
namespace {

bool Always() { return true; }

constexpr NwKernel kKernels[] = {
    {"scalar", NwFillScalar, Always},
};

}  // namespace

std::span<const NwKernel> NwKernels() { return kKernels; }

const NwKernel& BestNwKernel() {
  static const NwKernel& best = [] () -> const NwKernel& {
    const NwKernel* chosen = &kKernels[0];
    for (const NwKernel& kernel : kKernels) {
      if (kernel.supported()) chosen = &kernel;
    }
    return *chosen;
  }();
  return best;
}

}  // namespace circog
