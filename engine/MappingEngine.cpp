#include "engine/MappingEngine.h"

CMappingEngine::CMappingEngine(std::ostream& console, std::ostream& errors)
    : fileList(std::make_unique<FileList>()), console_(console), errors_(errors) {}

CMappingEngine::~CMappingEngine() {
  // The file list goes first; the other members follow in reverse order.
  fileList.reset();
}
