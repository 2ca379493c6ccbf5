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

  // False when no line is left, or when reading failed (then Failed()).
  bool Next(std::string& line);
  // The same, without copying a line that lies whole in the buffer: line
  // stays valid until the next call.
  bool Next(std::string_view& line);
  // True once the file reported a read error: the lines so far are not all.
  bool Failed() const { return failed_; }

 private:
  bool Fill();

  std::FILE* file_;
  std::string spill_;  // a line that runs past the end of the buffer
  char buffer_[1 << 16];
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

// True when path names a regular file (following links); devices, FIFOs,
// sockets and directories are not input files.
bool IsRegularFile(std::string_view path);

// An input file opened from a configured path; closes itself. Only a regular
// file opens: a FIFO, device, socket or directory counts as missing, and
// opening never blocks.
class InputFile {
 public:
  explicit InputFile(std::string_view path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  bool Next(std::string& line) { return reader_.Next(line); }
  bool Next(std::string_view& line) { return reader_.Next(line); }
  // True when reading stopped at an error rather than at the end.
  bool ReadFailed() const { return reader_.Failed(); }

 private:
  std::FILE* file_;
  LineReader reader_;
};

// An output file for a configured path, replaced whole or not at all. Text
// goes through a buffer into a hidden temporary beside the file (".name.<pid>.
// <n>.tmp", which no directory scan lists); Close() renames it over the file
// once everything is written and closed. A failed write or close, or a file
// dropped without Close(), removes the temporary and leaves an earlier file
// untouched. A path that already names something other than a regular file
// (a device such as /dev/null) is written directly. A link is followed: its
// target is replaced.
class OutputFile {
 public:
  explicit OutputFile(std::string_view path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  // Writes text as it stands, line ends included; false once anything has failed.
  bool Write(std::string_view text);
  // Writes out, closes and puts the file in place; false when any step failed.
  bool Close();

 private:
  void Abandon();

  std::FILE* file_ = nullptr;
  std::string target_;     // the file system path to replace
  std::string temporary_;  // empty when writing the target directly
  bool ok_ = false;
};

// Removes the file at a configured path; a file that is not there counts as
// removed. False when it exists and cannot be removed.
bool RemoveFile(std::string_view path);

}  // namespace circog

namespace circog {

// The file name of a path without its directory or drive: ".\dir\x.y.txt"
// gives "x.y.txt".
std::string_view FileName(std::string_view path);

// The same without the extension (from the last '.' on): "x.y".
std::string FileNamePart(std::string_view path);

}  // namespace circog
