// The configuration reader on any bytes.
#include "engine/MappingEngine.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = circog::fuzz::WriteInput("config.txt", data, size);
  CMappingEngine engine(circog::fuzz::Nowhere(), circog::fuzz::Nowhere());
  engine.ReadConfig(path);
  for (int slot = 0; slot < circog::kConfigSlots; ++slot) (void)engine.GetConfigValue(slot);
  return 0;
}
