// The score table reader on any bytes, then real proteins aligned with the
// table by every kernel: each must give the scalar reference's alignment.
#include <cstdlib>
#include <string>

#include "align/NwKernels.h"
#include "align/ProteinAligner.h"
#include "fuzz/FuzzInput.h"

namespace {

const std::string kFirst = "MRVLKFGGTSVANAERFLRVADILESNARQGQVATVLSAPAKITNHLVAMIEKTISGQDALPNISDAERIFAELL";
const std::string kSecond = "MRVLKFGGTSVADAERFLRVADILESNARQGQVAAVLSAPAKITNHLVAMIDKTISGQDALPNISDAERIFSELL";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = circog::fuzz::WriteInput("PAM-250.txt", data, size);
  CProteinAligner reference;
  reference.LoadScoreTable(path);
  reference.UseKernel(circog::NwKernels()[0]);
  std::string first, second, markers;
  const int32_t score = reference.Align(kFirst, kSecond.substr(size % 7), first, second, markers);
  for (const circog::NwKernel& kernel : circog::NwKernels()) {
    if (!kernel.supported()) continue;
    CProteinAligner aligner(reference);
    aligner.UseKernel(kernel);
    std::string f, s, m;
    if (aligner.Align(kFirst, kSecond.substr(size % 7), f, s, m) != score || f != first ||
        s != second || m != markers) {
      std::abort();
    }
  }
  return 0;
}
