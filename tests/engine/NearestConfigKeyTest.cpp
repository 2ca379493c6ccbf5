#include <gtest/gtest.h>

#include <string>

#include "engine/ConfigKeys.h"

namespace {

TEST(NearestConfigKeyTest, SuggestsKeysWithinThreeEdits) {
  EXPECT_EQ(circog::NearestConfigKey("Similarty"), "Similarity");
  EXPECT_EQ(circog::NearestConfigKey("TransformDataDir"), "TranformDataDir");
  EXPECT_EQ(circog::NearestConfigKey("PairLst"), "PairList");
  EXPECT_EQ(circog::NearestConfigKey("Colour"), "");
}

TEST(NearestConfigKeyTest, HugeKeyGetsNoSuggestionAtOnce) {
  // Found by fuzzing: edit distances over a key of megabytes took seconds.
  EXPECT_EQ(circog::NearestConfigKey(std::string(50'000'000, 'K')), "");
}

}  // namespace
