// Input and output files when things go wrong: read errors, files that are
// no regular files, writes that fail or never finish.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "text/TextIo.h"

namespace fs = std::filesystem;

namespace {

class FileFaultTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/circog-text-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
  // Every entry of the directory, hidden ones included.
  size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }

  fs::path dir_;
};

TEST_F(FileFaultTest, ReadErrorIsNoEndOfFile) {
  // Reading a directory's stream fails (EISDIR) instead of ending.
  std::FILE* file = std::fopen(dir_.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  circog::LineReader reader(file);
  std::string_view line;
  EXPECT_FALSE(reader.Next(line));
  EXPECT_TRUE(reader.Failed());
  std::fclose(file);
}

TEST_F(FileFaultTest, FifoAndDeviceAreNoInputFiles) {
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(circog::InputFile(Path("fifo")).IsOpen());  // and does not block
  EXPECT_FALSE(circog::InputFile("/dev/zero").IsOpen());
  EXPECT_FALSE(circog::IsRegularFile(Path("fifo")));
  Write(Path("plain"), "x\n");
  EXPECT_TRUE(circog::InputFile(Path("plain")).IsOpen());
}

TEST_F(FileFaultTest, FileAppearsWholeOnlyAtClose) {
  Write(Path("out.txt"), "old\n");
  circog::OutputFile file(Path("out.txt"));
  ASSERT_TRUE(file.Write("new\n"));
  EXPECT_EQ(Contents(Path("out.txt")), "old\n");
  EXPECT_EQ(Entries(), 2u);  // the hidden temporary beside it
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(Contents(Path("out.txt")), "new\n");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(FileFaultTest, UnfinishedFileLeavesTheEarlierOne) {
  Write(Path("out.txt"), "old\n");
  {
    circog::OutputFile file(Path("out.txt"));
    file.Write("partial\n");
  }
  EXPECT_EQ(Contents(Path("out.txt")), "old\n");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(FileFaultTest, LinkKeepsPointingAtItsReplacedTarget) {
  Write(Path("target.txt"), "old\n");
  fs::create_symlink(Path("target.txt"), Path("link.txt"));
  circog::OutputFile file(Path("link.txt"));
  file.Write("new\n");
  ASSERT_TRUE(file.Close());
  EXPECT_TRUE(fs::is_symlink(Path("link.txt")));
  EXPECT_EQ(Contents(Path("target.txt")), "new\n");
}

}  // namespace
