// End-to-end cases: every folder under cases/ is copied into a fresh
// temporary working directory, the built circog binary runs there, and its
// standard output, exit status and files are compared byte for byte with
// the folder's expected/ tree (see README.md in this folder).

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kCases = fs::path(CIRCOG_GOLDEN_DIR) / "cases";

std::vector<std::string> FindCases() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kCases)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Regular files under root by relative path with their bytes; directories
// map to "/" and anything else to "?".
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  if (!fs::is_directory(root)) return tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string rel = entry.path().lexically_relative(root).generic_string();
    const fs::file_status status = entry.symlink_status();
    tree[rel] = fs::is_regular_file(status) ? ReadBytes(entry.path()) : fs::is_directory(status) ? "/" : "?";
  }
  return tree;
}

// Control bytes shown escaped, so a difference in tabs or CRs is visible.
std::string Visible(std::string_view text) {
  std::string out;
  for (const unsigned char c : text.substr(0, 200)) {
    if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c < 0x20 || c >= 0x7f) out += "\\x" + std::to_string(c);
    else out += static_cast<char>(c);
  }
  return out;
}

// Empty when equal; otherwise the first differing line of each.
std::string Difference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return {};
  const size_t at = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first -
                    expected.begin();
  auto lineAt = [at](const std::string& text) {
    const size_t start = text.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t begin = start == std::string::npos || at == 0 ? 0 : start + 1;
    return Visible(std::string_view(text).substr(begin, text.find('\n', begin) - begin));
  };
  std::ostringstream out;
  out << " differs at byte " << at << ", line " << 1 + std::count(expected.begin(), expected.begin() + at, '\n')
      << ": expected \"" << lineAt(expected) << "\", got \"" << lineAt(actual) << "\"";
  return out.str();
}

// With more than one CPU the run reads genomes ahead on other threads; on
// one it reads them in turn. Each case runs both ways, on one CPU through
// taskset.
std::string OneCpuPrefix() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return {};
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) return "taskset -c " + std::to_string(cpu) + " ";
  }
  return {};
}

class GoldenCase : public testing::TestWithParam<std::tuple<std::string, bool>> {};

TEST_P(GoldenCase, MatchesExpected) {
  const auto& [name, oneCpu] = GetParam();
  const std::string cpus = oneCpu ? OneCpuPrefix() : "";
  if (oneCpu && (cpus.empty() || std::system("command -v taskset >/dev/null") != 0)) {
    GTEST_SKIP() << "taskset is not available";
  }
  const fs::path caseDir = kCases / name;
  const fs::path expected = caseDir / "expected";
  std::string root = (fs::temp_directory_path() / ("circog-golden-" + name + "-XXXXXX")).string();
  ASSERT_NE(mkdtemp(root.data()), nullptr);
  const fs::path work = fs::path(root) / "work";
  fs::create_directory(work);
  if (fs::exists(caseDir / "input")) fs::copy(caseDir / "input", work, fs::copy_options::recursive);

  const std::string command = "cd '" + work.string() + "' && exec " + cpus + "timeout 120 '" CIRCOG_BINARY "' </dev/null >'" +
                              root + "/stdout' 2>'" + root + "/stderr'";
  const int wait = std::system(command.c_str());
  const int status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;

  std::vector<std::string> failures;
  const int expectedStatus = std::stoi(ReadBytes(expected / "status"));
  if (status != expectedStatus) {
    failures.push_back("exit status " + std::to_string(status) + ", expected " + std::to_string(expectedStatus));
  }
  if (const auto diff = Difference(ReadBytes(expected / "stdout"), ReadBytes(root + "/stdout")); !diff.empty()) {
    failures.push_back("standard output" + diff);
  }
  if (fs::exists(expected / "stderr")) {
    if (const auto diff = Difference(ReadBytes(expected / "stderr"), ReadBytes(root + "/stderr")); !diff.empty()) {
      failures.push_back("standard error" + diff);
    }
  }
  // After the run the tree must be the input tree with expected/files laid
  // over it, less the input files that expected/removed lists.
  auto want = Snapshot(caseDir / "input");
  for (auto& [rel, bytes] : Snapshot(expected / "files")) want[rel] = std::move(bytes);
  std::istringstream removed(ReadBytes(expected / "removed"));
  for (std::string rel; std::getline(removed, rel);) want.erase(rel);
  const auto after = Snapshot(work);
  for (const auto& [rel, bytes] : after) {
    const auto found = want.find(rel);
    if (found == want.end()) {
      failures.push_back("unexpected " + rel + " (\"" + Visible(bytes) + "\")");
    } else if (const auto diff = Difference(found->second, bytes); !diff.empty()) {
      failures.push_back(rel + diff);
    }
  }
  for (const auto& [rel, bytes] : want) {
    if (!after.count(rel)) failures.push_back("missing " + rel);
  }

  if (failures.empty()) {
    fs::remove_all(root);
    return;
  }
  std::string report = "golden case " + name + (oneCpu ? " on one CPU" : "") + " failed (run kept in " + root + "):";
  for (const std::string& failure : failures) report += "\n- " + failure;
  ADD_FAILURE() << report << "\nstandard error: \"" << Visible(ReadBytes(root + "/stderr")) << "\"";
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenCase, testing::Combine(testing::ValuesIn(FindCases()), testing::Bool()),
                         [](const testing::TestParamInfo<GoldenCase::ParamType>& info) {
                           return std::get<0>(info.param) + (std::get<1>(info.param) ? "_OneCpu" : "");
                         });

}  // namespace
