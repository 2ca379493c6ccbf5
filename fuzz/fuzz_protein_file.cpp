// The protein loader on any bytes, for genes whose identifiers are common
// header shapes, then the alignment of every pair of the loaded sequences.
#include "engine/MappingEngine.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  circog::fuzz::WriteInput("P.faa", data, size);
  CMappingEngine engine(circog::fuzz::Nowhere(), circog::fuzz::Nowhere());
  engine.fileList->push_back(circog::fuzz::WorkDir() + "P.txt");
  for (const char* id : {"16127996", "1", "NP_414543.1", "a", ""}) {
    GeneRecord gene;
    gene.cogId = "COG0001";
    gene.proteinId = id;
    engine.genes[0].push_back(gene);
  }
  if (!engine.LoadProteinFile(0, 0)) return 0;
  engine.genes[1] = engine.genes[0];
  engine.configValues[static_cast<int>(ConfigKey::Similarity)] = "0.3";
  engine.MapGenes(true);  // the score table is missing: every score is 0
  return 0;
}
