// The angle loader on any bytes, then the mapping of the file against itself
// and its three result files.
#include "engine/MappingEngine.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = circog::fuzz::WriteInput("A.txt", data, size);
  CMappingEngine engine(circog::fuzz::Nowhere(), circog::fuzz::Nowhere());
  engine.fileList->push_back(path);
  engine.LoadAngleFile(0, 0);
  engine.LoadAngleFile(1, 0);
  engine.MapGenes(false);
  engine.WritePairResults(0, 0, circog::fuzz::WorkDir());
  return 0;
}
