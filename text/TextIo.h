#pragma once
// Text helpers shared by every stage: the one console sink, the line reader,
// file paths, and the number formats used on the console and in files.

#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>

namespace circog {

// Writes text and a line end to the console and flushes it, so that lines
// written by different stages can never reorder.
void PrintLine(std::ostream& console, std::string_view text);

// Writes text and a line end without flushing, for long runs of lines whose
// writer flushes them before it waits for anything.
void WriteLine(std::ostream& console, std::string_view text);

// Numbers as the C library's %g prints them: 6 significant digits,
// "inf", "-nan", two-digit exponents.
std::string FormatG(double value);

// The longest leading decimal number of text (white space skipped, optional
// sign, digits with an optional '.', optional exponent); 0 when there is none.
double ParseDecimalPrefix(std::string_view text);

// Configured paths use backslashes; the file system wants '/'.
std::string FileSystemPath(std::string_view path);

// Reads lines of any length. A line ends at a line feed; a CR right before the
// line feed, or at the very end of the file, is dropped; any other CR is an
// ordinary byte. A last line without a line feed is still a line.
class LineReader {
 public:
  explicit LineReader(std::FILE* file) : file_(file) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // False when no line is left.
  bool Next(std::string& line);

 private:
  bool Fill();

  std::FILE* file_;
  char buffer_[1 << 16];
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
};

// An input file opened from a configured path; closes itself.
class InputFile {
 public:
  explicit InputFile(std::string_view path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  bool Next(std::string& line) { return reader_.Next(line); }

 private:
  std::FILE* file_;
  LineReader reader_;
};

// An output file created or truncated from a configured path. Lines are
// buffered and written out at the latest when the file closes; any failed
// open, write or close makes Close() false.
class OutputFile {
 public:
  explicit OutputFile(std::string_view path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  // False once anything has failed.
  bool WriteLine(std::string_view text);
  bool Close();

 private:
  std::FILE* file_;
  bool ok_;
};

}  // namespace circog

namespace circog {

// The file name of a path without its directory, drive or extension (the
// extension runs from the last '.' on): ".\dir\x.y.txt" gives "x.y".
std::string FileNamePart(std::string_view path);

}  // namespace circog
