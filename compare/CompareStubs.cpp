#include "engine/MappingEngine.h"
void CMappingEngine::LoadAngleFile(int, int) {}
bool CMappingEngine::LoadProteinFile(int, int) { return true; }
void CMappingEngine::MapGenes(bool) {}
bool CMappingEngine::WritePairResults(int, int, const std::string&) { return true; }
