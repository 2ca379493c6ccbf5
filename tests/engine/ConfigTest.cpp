#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/ConfigKeys.h"

namespace {

struct LineCase {
  const char* line;
  bool sets;
  const char* key;
  const char* value;
};

class ConfigLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(ConfigLineTest, SplitsAtTheFirstEqualsWithoutTrimming) {
  const auto setting = circog::ParseConfigLine(GetParam().line);
  ASSERT_EQ(setting.has_value(), GetParam().sets);
  if (!setting) return;
  EXPECT_EQ(setting->key, GetParam().key);
  EXPECT_EQ(setting->value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigLineTest,
    testing::Values(LineCase{"AlignmentFlag=TRUE", true, "AlignmentFlag", "TRUE"},
                    LineCase{"Key=a=b", true, "Key", "a=b"},
                    LineCase{"Key = value ", true, "Key ", " value "},
                    LineCase{"Key=", true, "Key", ""}, LineCase{"=value", true, "", "value"},
                    LineCase{"#Key=value", false, "", ""}, LineCase{"", false, "", ""},
                    LineCase{"no equals here", false, "", ""}, LineCase{" \t", false, "", ""}));

TEST(NearestConfigKeyTest, SuggestsOnlyCloseKeys) {
  EXPECT_EQ(circog::NearestConfigKey("TransformDataDir"), "TranformDataDir");
  EXPECT_EQ(circog::NearestConfigKey("similarity"), "Similarity");
  EXPECT_EQ(circog::NearestConfigKey("AnglePath "), "AnglePath");
  EXPECT_EQ(circog::NearestConfigKey("Threads"), "");
  EXPECT_EQ(circog::NearestConfigKey(""), "");
}

}  // namespace
