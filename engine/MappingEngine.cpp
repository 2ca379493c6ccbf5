#include "engine/MappingEngine.h"

CMappingEngine::CMappingEngine(std::ostream& console)
    : fileList(std::make_unique<FileList>()), console_(console) {}

CMappingEngine::~CMappingEngine() {
  // The file list goes first; the other members follow in reverse order.
  fileList.reset();
}
