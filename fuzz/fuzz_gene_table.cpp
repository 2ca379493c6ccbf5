// The gene table transform on any bytes, with genome sizes taken from the
// first four bytes (zero and negative ones included).
#include <cstring>

#include "engine/MappingEngine.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t genomeSize = 4639675;
  if (size >= 4) {
    std::memcpy(&genomeSize, data, 4);
    data += 4;
    size -= 4;
  }
  const std::string path = circog::fuzz::WriteInput("G.tab", data, size);
  CMappingEngine engine(circog::fuzz::Nowhere(), circog::fuzz::Nowhere());
  engine.genomeSizes.push_back({"G", genomeSize});
  engine.fileList->push_back(path);
  engine.TransformGeneTable(0, circog::fuzz::WorkDir());
  return 0;
}
