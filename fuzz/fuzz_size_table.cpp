// The genome size table on any bytes.
#include "engine/MappingEngine.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = circog::fuzz::WriteInput("size.txt", data, size);
  CMappingEngine engine(circog::fuzz::Nowhere(), circog::fuzz::Nowhere());
  engine.ReadGenomeSizeTable(path);
  return 0;
}
