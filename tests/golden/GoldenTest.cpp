// End-to-end cases: every folder under cases/ is copied into a fresh
// temporary working directory, the built circog binary runs there, and its
// standard output, exit status and files are compared byte for byte with
// the folder's expected/ tree. See README.md in this folder for the layout.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef CIRCOG_BINARY
#error "CIRCOG_BINARY must name the built circog program"
#endif
#ifndef CIRCOG_GOLDEN_DIR
#error "CIRCOG_GOLDEN_DIR must name the tests/golden folder"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutSeconds = 120;

fs::path CasesRoot() { return fs::path(CIRCOG_GOLDEN_DIR) / "cases"; }

// Every folder directly under cases/, in ascending byte order of its name.
std::vector<std::string> FindCases() {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(CasesRoot(), ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory()) {
            names.push_back(it->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// GoogleTest names may only hold letters, digits and '_'.
std::string TestNameFor(const std::string& folder) {
    std::string name = folder;
    for (char& c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) {
            c = '_';
        }
    }
    return name;
}

bool ReadWholeFile(const fs::path& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Shows a byte sequence so that tabs, CRs and other control bytes are visible.
std::string Visible(const std::string& text, std::size_t limit = 200) {
    std::string out;
    for (std::size_t k = 0; k < text.size() && k < limit; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c >= 0x7f) {
                static const char hex[] = "0123456789abcdef";
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    if (text.size() > limit) {
        out += "...";
    }
    return out;
}

// The line (without its line feed) that holds byte `offset`.
std::string LineAround(const std::string& text, std::size_t offset) {
    std::size_t start = offset > text.size() ? text.size() : offset;
    while (start > 0 && text[start - 1] != '\n') {
        --start;
    }
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
        end = text.size();
    }
    return text.substr(start, end - start);
}

// Empty when equal; otherwise a short readable hint at the first difference.
std::string DescribeDifference(const std::string& expected, const std::string& actual) {
    if (expected == actual) {
        return {};
    }
    std::size_t offset = 0;
    while (offset < expected.size() && offset < actual.size() && expected[offset] == actual[offset]) {
        ++offset;
    }
    const std::size_t line = 1 + static_cast<std::size_t>(
        std::count(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
    std::ostringstream hint;
    hint << "  first difference at byte " << offset << ", line " << line
         << " (expected " << expected.size() << " bytes, got " << actual.size() << " bytes)\n";
    if (offset >= expected.size()) {
        hint << "  expected: <end of text>\n";
    } else {
        hint << "  expected line: \"" << Visible(LineAround(expected, offset)) << "\"\n";
    }
    if (offset >= actual.size()) {
        hint << "  actual:   <end of text>\n";
    } else {
        hint << "  actual line:   \"" << Visible(LineAround(actual, offset)) << "\"\n";
    }
    return hint.str();
}

struct Tree {
    std::set<std::string> files;   // relative paths of regular files
    std::set<std::string> dirs;    // relative paths of directories
    std::set<std::string> others;  // anything else (links, fifos, ...)
};

Tree ListTree(const fs::path& root) {
    Tree tree;
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        return tree;
    }
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string rel = it->path().lexically_relative(root).generic_string();
        const fs::file_status st = it->symlink_status();
        if (fs::is_symlink(st)) {
            tree.others.insert(rel);
        } else if (fs::is_directory(st)) {
            tree.dirs.insert(rel);
        } else if (fs::is_regular_file(st)) {
            tree.files.insert(rel);
        } else {
            tree.others.insert(rel);
        }
    }
    return tree;
}

struct RunResult {
    bool started = false;
    bool exited = false;
    int status = -1;       // exit status as the shell sees it
    int signal = 0;        // terminating signal, if any
    bool timedOut = false;
    std::string problem;   // set when the run itself could not be done
};

RunResult RunBinary(const std::string& binary, const std::string& workDir,
                    const std::string& stdoutPath, const std::string& stderrPath) {
    RunResult result;
    // Everything the child needs is prepared before fork.
    const char* bin = binary.c_str();
    const char* dir = workDir.c_str();
    const char* outPath = stdoutPath.c_str();
    const char* errPath = stderrPath.c_str();

    const pid_t pid = fork();
    if (pid < 0) {
        result.problem = std::string("fork failed: ") + std::strerror(errno);
        return result;
    }
    if (pid == 0) {
        if (chdir(dir) != 0) {
            _exit(126);
        }
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) {
            _exit(126);
        }
        if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
            _exit(126);
        }
        close(in);
        close(out);
        close(err);
        execl(bin, bin, static_cast<char*>(nullptr));
        _exit(127);
    }
    result.started = true;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
    int wstatus = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &wstatus, WNOHANG);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            result.problem = std::string("waitpid failed: ") + std::strerror(errno);
            return result;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &wstatus, 0);
            result.timedOut = true;
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(wstatus)) {
        result.exited = true;
        result.status = WEXITSTATUS(wstatus);
    } else if (WIFSIGNALED(wstatus)) {
        result.signal = WTERMSIG(wstatus);
    }
    return result;
}

std::string MakeTempRoot(const std::string& caseName) {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    std::string pattern = base + "/circog-golden-" + caseName + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        return {};
    }
    return std::string(buffer.data());
}

class GoldenCase : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenCase, MatchesExpected) {
    const std::string name = GetParam();
    const fs::path caseDir = CasesRoot() / name;
    const fs::path inputDir = caseDir / "input";
    const fs::path expectedDir = caseDir / "expected";
    const fs::path expectedFilesDir = expectedDir / "files";

    std::string expectedStdout;
    ASSERT_TRUE(ReadWholeFile(expectedDir / "stdout", expectedStdout))
        << "case " << name << ": expected/stdout is missing";
    std::string statusText;
    ASSERT_TRUE(ReadWholeFile(expectedDir / "status", statusText))
        << "case " << name << ": expected/status is missing";
    int expectedStatus = -1;
    {
        std::istringstream in(statusText);
        ASSERT_TRUE(static_cast<bool>(in >> expectedStatus))
            << "case " << name << ": expected/status holds no number";
    }

    const std::string root = MakeTempRoot(TestNameFor(name));
    ASSERT_FALSE(root.empty()) << "mkdtemp failed: " << std::strerror(errno);
    const fs::path work = fs::path(root) / "work";
    const std::string stdoutPath = root + "/stdout";
    const std::string stderrPath = root + "/stderr";

    std::error_code ec;
    fs::create_directory(work, ec);
    ASSERT_FALSE(ec) << "cannot create " << work << ": " << ec.message();
    if (fs::exists(inputDir)) {
        fs::copy(inputDir, work, fs::copy_options::recursive, ec);
        ASSERT_FALSE(ec) << "cannot copy " << inputDir << " to " << work << ": " << ec.message();
    }

    const RunResult run = RunBinary(CIRCOG_BINARY, work.string(), stdoutPath, stderrPath);

    std::vector<std::string> failures;
    if (!run.problem.empty()) {
        failures.push_back(run.problem);
    }
    if (run.timedOut) {
        failures.push_back("circog did not finish within " + std::to_string(kTimeoutSeconds) + " s and was killed");
    } else if (run.started && !run.exited && run.problem.empty()) {
        failures.push_back("circog was ended by signal " + std::to_string(run.signal) + " (" +
                           strsignal(run.signal) + ")");
    } else if (run.exited && run.status != expectedStatus) {
        failures.push_back("exit status " + std::to_string(run.status) + ", expected " +
                           std::to_string(expectedStatus) +
                           (run.status == 127 ? " (127: the binary could not be started?)" : ""));
    }

    std::string actualStdout;
    ReadWholeFile(stdoutPath, actualStdout);
    const std::string stdoutDiff = DescribeDifference(expectedStdout, actualStdout);
    if (!stdoutDiff.empty()) {
        failures.push_back("standard output differs from expected/stdout\n" + stdoutDiff);
    }

    // Input files the run must remove, one path per line (optional).
    std::set<std::string> removed;
    {
        std::string removedText;
        ReadWholeFile(expectedDir / "removed", removedText);
        std::istringstream lines(removedText);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty()) {
                removed.insert(line);
            }
        }
    }

    const Tree input = ListTree(inputDir);
    const Tree expected = ListTree(expectedFilesDir);
    const Tree after = ListTree(work);

    for (const std::string& rel : after.files) {
        std::string actualBytes;
        ReadWholeFile(work / rel, actualBytes);
        if (expected.files.count(rel) != 0) {
            std::string expectedBytes;
            ReadWholeFile(expectedFilesDir / rel, expectedBytes);
            const std::string diff = DescribeDifference(expectedBytes, actualBytes);
            if (!diff.empty()) {
                failures.push_back("file " + rel + " differs from expected/files/" + rel + "\n" + diff);
            }
        } else if (removed.count(rel) != 0) {
            failures.push_back("file " + rel + " is listed in expected/removed but is still there");
        } else if (input.files.count(rel) != 0) {
            std::string inputBytes;
            ReadWholeFile(inputDir / rel, inputBytes);
            const std::string diff = DescribeDifference(inputBytes, actualBytes);
            if (!diff.empty()) {
                failures.push_back("input file " + rel + " was changed and is not listed in expected/files\n" + diff);
            }
        } else {
            failures.push_back("unexpected file " + rel + " (" + std::to_string(actualBytes.size()) +
                               " bytes): neither an input nor listed in expected/files\n  content: \"" +
                               Visible(actualBytes) + "\"");
        }
    }
    for (const std::string& rel : expected.files) {
        if (after.files.count(rel) == 0) {
            failures.push_back("expected file " + rel + " was not written");
        }
    }
    for (const std::string& rel : input.files) {
        if (after.files.count(rel) == 0 && expected.files.count(rel) == 0 && removed.count(rel) == 0) {
            failures.push_back("input file " + rel + " is gone after the run");
        }
    }
    for (const std::string& rel : after.dirs) {
        if (input.dirs.count(rel) == 0) {
            failures.push_back("unexpected directory " + rel + " (circog creates no directories)");
        }
    }
    for (const std::string& rel : after.others) {
        failures.push_back("unexpected entry " + rel + " that is neither a file nor a directory");
    }

    if (failures.empty()) {
        fs::remove_all(root, ec);
        return;
    }
    std::ostringstream report;
    report << "golden case " << name << " failed:\n";
    for (const std::string& f : failures) {
        report << "- " << f << (f.empty() || f.back() == '\n' ? "" : "\n");
    }
    std::string errText;
    if (ReadWholeFile(stderrPath, errText) && !errText.empty()) {
        report << "standard error of the run: \"" << Visible(errText, 2000) << "\"\n";
    }
    report << "work files kept in " << root << " (work dir " << work.string() << ", captured stdout "
           << stdoutPath << ")";
    ADD_FAILURE() << report.str();
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenCase, ::testing::ValuesIn(FindCases()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return TestNameFor(info.param);
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GoldenCase);

}  // namespace
