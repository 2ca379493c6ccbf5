#include <memory>

#include "align/ProteinAligner.h"
#include "compare/AlignmentCache.h"
#include "compare/AlignmentPool.h"
#include "compare/CompareText.h"
#include "engine/MappingEngine.h"
#include "text/TextIo.h"

namespace {

const char* const kScoreTable = "PAM-250.txt";

// The run's alignment cache, ready for the aligner's table; none in a run of
// two genomes or fewer: with one pair, no alignment is met again in a later
// one (a pair met twice within one is aligned once all the same).
circog::AlignmentCache* CacheFor(CMappingEngine& engine, const CProteinAligner& aligner) {
  if (!engine.fileList || engine.fileList->size() <= 2) return nullptr;
  if (!engine.alignmentCache) {
    engine.alignmentCache = std::make_shared<circog::AlignmentCache>(circog::RunCacheBytes());
  }
  engine.alignmentCache->UseTable(aligner.m_scoreTable.data(), aligner.m_residueIndex.data(),
                                  aligner.m_tableLoaded, aligner.m_gapScore);
  return engine.alignmentCache.get();
}

}  // namespace

bool CMappingEngine::MapGenes(bool alignmentEnabled) {
  const float threshold =
      static_cast<float>(circog::ParseDecimalPrefix(GetConfigValue(ConfigKey::Similarity)));
  CProteinAligner aligner;
  circog::PrintLine(console_, "#\tProcessing mapping");
  if (alignmentEnabled) {
    if (!aligner.LoadScoreTable(kScoreTable)) {
      unreadableInput = kScoreTable;
      return false;
    }
    circog::PrintLine(console_, "Similarity: " + circog::FormatG(threshold));
  }
  mappingResults.clear();

  const std::vector<GeneRecord>& firstGenes = genes[0];
  const std::vector<GeneRecord>& secondGenes = genes[1];
  const std::vector<circog::CandidatePair> candidates = circog::ListCandidatePairs(firstGenes, secondGenes);

  MappingEntry working;
  auto accept = [&](size_t k, bool accepted) {
    const circog::CandidatePair& pair = candidates[k];
    if (accepted) {
      working.firstAngles.push_back(firstGenes[pair.first].angle);
      working.secondAngles.push_back(secondGenes[pair.second].angle);
    }
    // The last partner of a first gene closes its entry.
    if (k + 1 == candidates.size() || candidates[k + 1].first != pair.first) {
      if (!working.firstAngles.empty()) {
        working.cogId = firstGenes[pair.first].cogId;
        mappingResults.push_back(std::move(working));
      }
      working = MappingEntry();
    }
  };

  if (!alignmentEnabled) {
    for (size_t k = 0; k < candidates.size(); ++k) accept(k, true);
  } else {
    circog::AlignmentCache* cache = CacheFor(*this, aligner);
    const circog::AlignmentPlan plan = circog::PlanAlignments(candidates, firstGenes, secondGenes, cache);
    std::vector<circog::CachedCounts> made(plan.firstCandidate.size());
    size_t next = 0;  // the first candidate whose line is not out yet
    // Alignment lines go out in candidate order, as soon as every candidate
    // before them has its counts.
    auto emit = [&](size_t madeSoFar) {
      for (; next < candidates.size(); ++next) {
        const uint32_t alignment = plan.alignmentOf[next];
        if (alignment != circog::AlignmentPlan::kFromCache && alignment >= madeSoFar) break;
        const circog::CachedCounts counts =
            alignment == circog::AlignmentPlan::kFromCache ? plan.cached[next] : made[alignment];
        // Two empty sequences give 0/0, which is not a number and never accepted.
        const double ratio = SimilarityRatio({0, counts.similarCount, counts.columns});
        if (cache != nullptr) {
          circog::WriteLine(console_, cache->Line(counts));
        } else {
          circog::WriteLine(console_, AlignmentLine(counts.similarCount, counts.columns, ratio));
        }
        accept(next, ratio > static_cast<double>(threshold));
      }
    };
    // Called from the worker threads.
    auto pairAt = [&](size_t k, std::string_view& first, std::string_view& second) {
      const circog::CandidatePair& pair = candidates[plan.firstCandidate[k]];
      first = firstGenes[pair.first].sequence;
      second = secondGenes[pair.second].sequence;
    };
    // Alignment lines go out whenever the mapping would otherwise wait, and
    // at its end line, rather than one system call per line.
    auto consume = [&](size_t k, const circog::AlignmentCounts& counts) {
      made[k] = {counts.similarCount, counts.columns};
      if (cache != nullptr) {
        const circog::CandidatePair& pair = candidates[plan.firstCandidate[k]];
        cache->Insert(circog::SequenceOf(firstGenes[pair.first]),
                      circog::SequenceOf(secondGenes[pair.second]), made[k]);
      }
      emit(k + 1);
    };
    circog::AlignInOrder(aligner, made.size(), pairAt, consume, [&] { console_.flush(); });
    emit(made.size());
  }
  circog::PrintLine(console_, "#\tEnd of processing mapping");
  return true;
}
