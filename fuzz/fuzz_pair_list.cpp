// The pair-list reader on any bytes, against a list of angle files whose
// names include a shared one, an inner dot and a '#'; then the rounds of
// whatever pairs it chose.
#include "engine/MappingEngine.h"
#include "engine/PairList.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = circog::fuzz::WriteInput("pairs.txt", data, size);
  CMappingEngine engine(circog::fuzz::Nowhere(), circog::fuzz::Nowhere());
  *engine.fileList = {".\\ang\\A.TXT", ".\\ang\\A.txt", ".\\ang\\B.v2.txt", ".\\ang\\#C.txt", ".\\ang\\D"};
  if (engine.ReadPairList(path)) {
    const auto rounds = circog::ChosenPairRounds(engine.chosenPairs);
    for (const circog::PairRound& round : rounds) {
      int previous = round.first;
      for (const int partner : round.partners) {
        if (partner <= previous || partner >= static_cast<int>(engine.fileList->size())) __builtin_trap();
        previous = partner;
      }
    }
  }
  return 0;
}
