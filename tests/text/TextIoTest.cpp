#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "text/TextIo.h"

namespace {

// Lines as copies, as views, or alternately one and the other: all three
// must split the same.
enum class Reading { Copies, Views, Alternately };

std::vector<std::string> ReadAll(const std::string& bytes, Reading reading) {
  std::FILE* file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  std::vector<std::string> lines;
  {
    circog::LineReader reader(file);
    std::string copy;
    std::string_view view;
    for (bool asView = reading == Reading::Views;;
         asView = reading == Reading::Alternately ? !asView : asView) {
      if (asView ? !reader.Next(view) : !reader.Next(copy)) break;
      lines.emplace_back(asView ? std::string(view) : copy);
    }
  }
  std::fclose(file);
  return lines;
}

std::vector<std::string> ReadAll(const std::string& bytes) {
  const std::vector<std::string> copies = ReadAll(bytes, Reading::Copies);
  EXPECT_EQ(ReadAll(bytes, Reading::Views), copies);
  EXPECT_EQ(ReadAll(bytes, Reading::Alternately), copies);
  return copies;
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
};

class LineReaderTest : public testing::TestWithParam<LineCase> {};

TEST_P(LineReaderTest, SplitsLikeTheTable) { EXPECT_EQ(ReadAll(GetParam().bytes), GetParam().lines); }

INSTANTIATE_TEST_SUITE_P(Cases, LineReaderTest,
                         testing::Values(LineCase{"Empty", "", {}}, LineCase{"OnlyLineFeed", "\n", {""}},
                                         LineCase{"LineFeeds", "a\nbc\n", {"a", "bc"}},
                                         LineCase{"KeepsLastLineWithoutLineFeed", "a\nbc", {"a", "bc"}},
                                         LineCase{"EmptyLineInside", "a\n\nb\n", {"a", "", "b"}},
                                         LineCase{"DropsCrBeforeLineFeed", "a\r\nb\r\n", {"a", "b"}},
                                         LineCase{"DropsCrAtEndOfFile", "a\r\nb\r", {"a", "b"}},
                                         LineCase{"KeepsLoneCrInsideLine", "a\rb\n", {"a\rb"}},
                                         LineCase{"DropsOnlyOneCr", "a\r\r\n", {"a\r"}},
                                         LineCase{"KeepsTabsAndBlanks", " \ta \t\n", {" \ta \t"}}),
                         [](const testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(LineReaderTest, ReadsLinesLongerThanItsBuffer) {
  const std::string longLine(200000, 'x');
  const std::string crAcrossBoundary = std::string(65535, 'y') + "\r\n";
  EXPECT_EQ(ReadAll(longLine + "\n" + longLine), (std::vector<std::string>{longLine, longLine}));
  EXPECT_EQ(ReadAll(crAcrossBoundary + "z"), (std::vector<std::string>{std::string(65535, 'y'), "z"}));
}

TEST(FormatGTest, PrintsLikeTheCLibrary) {
  EXPECT_EQ(circog::FormatG(0.725), "0.725");
  EXPECT_EQ(circog::FormatG(1), "1");
  EXPECT_EQ(circog::FormatG(0), "0");
  EXPECT_EQ(circog::FormatG(1e6), "1e+06");
  EXPECT_EQ(circog::FormatG(123.456789), "123.457");
  EXPECT_EQ(circog::FormatG(7.75917e-05), "7.75917e-05");
  EXPECT_EQ(circog::FormatG(179.5), "179.5");
  EXPECT_EQ(circog::FormatG(87.0f / 120.0f), "0.725");
  EXPECT_EQ(circog::FormatG(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(circog::FormatG(-std::numeric_limits<double>::quiet_NaN()), "-nan");
}

TEST(ParseDecimalPrefixTest, TakesTheLongestLeadingDecimalNumber) {
  EXPECT_EQ(circog::ParseDecimalPrefix("0.3"), 0.3);
  EXPECT_EQ(circog::ParseDecimalPrefix("  \t12.5abc"), 12.5);
  EXPECT_EQ(circog::ParseDecimalPrefix("-1"), -1.0);
  EXPECT_EQ(circog::ParseDecimalPrefix("+.5"), 0.5);
  EXPECT_EQ(circog::ParseDecimalPrefix("5."), 5.0);
  EXPECT_EQ(circog::ParseDecimalPrefix("1e3x"), 1000.0);
  EXPECT_EQ(circog::ParseDecimalPrefix("2e"), 2.0);
  EXPECT_EQ(circog::ParseDecimalPrefix("2e+"), 2.0);
  EXPECT_EQ(circog::ParseDecimalPrefix(""), 0.0);
  EXPECT_EQ(circog::ParseDecimalPrefix("abc"), 0.0);
  EXPECT_EQ(circog::ParseDecimalPrefix("."), 0.0);
  EXPECT_EQ(circog::ParseDecimalPrefix("-"), 0.0);
  // Only decimal text: no hexadecimal, infinity or not-a-number words.
  EXPECT_EQ(circog::ParseDecimalPrefix("0x10"), 0.0);
  EXPECT_EQ(circog::ParseDecimalPrefix("inf"), 0.0);
  EXPECT_EQ(circog::ParseDecimalPrefix("nan"), 0.0);
}

TEST(PathTest, MapsBackslashesOnlyForTheFileSystem) {
  EXPECT_EQ(circog::FileSystemPath(".\\angle1\\G1.txt"), "./angle1/G1.txt");
  EXPECT_EQ(circog::FileSystemPath("out/a"), "out/a");
}

TEST(PathTest, FileNamePartDropsDirectoryAndLastExtension) {
  EXPECT_EQ(circog::FileNamePart(".\\angle1\\A.txt"), "A");
  EXPECT_EQ(circog::FileNamePart("dir/x.y.txt"), "x.y");
  EXPECT_EQ(circog::FileNamePart("C:name.txt"), "name");
  EXPECT_EQ(circog::FileNamePart("noext"), "noext");
  EXPECT_EQ(circog::FileName("C:dir\\x.y.txt"), "x.y.txt");
  EXPECT_EQ(circog::FileName("C:x.txt"), "x.txt");
  EXPECT_EQ(circog::FileNamePart("dir\\.txt"), "");
}

}  // namespace
