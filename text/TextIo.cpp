#include "text/TextIo.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include <atomic>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace circog {

void PrintLine(std::ostream& console, std::string_view text) {
  WriteLine(console, text);
  console.flush();
}

void WriteLine(std::ostream& console, std::string_view text) {
  console.write(text.data(), static_cast<std::streamsize>(text.size()));
  console.put('\n');
}

std::string FormatG(double value) {
  // to_chars with 6 significant digits in general form writes exactly what
  // printf's %g writes, "inf" and "-nan" included, several times faster.
  char text[64];
  const std::to_chars_result result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  return std::string(text, result.ptr);
}

double ParseDecimalPrefix(std::string_view text) {
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  size_t pos = 0;
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  const size_t start = pos;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  size_t digits = 0;
  while (pos < text.size() && isDigit(text[pos])) ++pos, ++digits;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && isDigit(text[pos])) ++pos, ++digits;
  }
  if (digits == 0) return 0.0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    size_t exp = pos + 1;
    if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) ++exp;
    if (exp < text.size() && isDigit(text[exp])) {
      while (exp < text.size() && isDigit(text[exp])) ++exp;
      pos = exp;
    }
  }
  // The isolated prefix, correctly rounded: from_chars takes no '+', and
  // leaves values beyond the double range to strtod, which gives inf or 0
  // for them as the C library does.
  const size_t first = text[start] == '+' ? start + 1 : start;
  double value = 0.0;
  const std::from_chars_result result =
      std::from_chars(text.data() + first, text.data() + pos, value, std::chars_format::general);
  if (result.ec == std::errc() && result.ptr == text.data() + pos) return value;
  const std::string number(text.substr(start, pos - start));
  return std::strtod(number.c_str(), nullptr);
}

std::string FileSystemPath(std::string_view path) {
  std::string mapped(path);
  for (char& c : mapped) {
    if (c == '\\') c = '/';
  }
  return mapped;
}

// Refills the buffer once everything in it has been taken.
bool LineReader::Fill() {
  if (eof_ || file_ == nullptr) return false;
  begin_ = 0;
  end_ = std::fread(buffer_, 1, sizeof buffer_, file_);
  if (end_ == 0) {
    eof_ = true;
    // A read error also returns nothing; it must not pass for the end.
    failed_ = std::ferror(file_) != 0;
  }
  return end_ > 0;
}

bool LineReader::Next(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (begin_ == end_ && !Fill()) break;
    const char* start = buffer_ + begin_;
    const void* newline = std::memchr(start, '\n', end_ - begin_);
    if (newline != nullptr) {
      const size_t length = static_cast<size_t>(static_cast<const char*>(newline) - start);
      line.append(start, length);
      begin_ += length + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    line.append(start, end_ - begin_);
    begin_ = end_;
    any = true;
  }
  if (failed_) return false;
  // The last line has no line feed; a CR at the very end of the file is dropped.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

bool LineReader::Next(std::string_view& line) {
  if (begin_ == end_) Fill();
  if (begin_ < end_) {
    const char* start = buffer_ + begin_;
    const void* newline = std::memchr(start, '\n', end_ - begin_);
    if (newline != nullptr) {
      const size_t length = static_cast<size_t>(static_cast<const char*>(newline) - start);
      begin_ += length + 1;
      line = std::string_view(start, length);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      return true;
    }
  }
  if (!Next(spill_)) return false;
  line = spill_;
  return true;
}

bool IsRegularFile(std::string_view path) {
  struct stat status;
  return stat(FileSystemPath(path).c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

namespace {

// Opening without waiting keeps a FIFO with no writer from blocking; the
// descriptor is then checked, so nothing can be swapped in between.
std::FILE* OpenRegularInput(std::string_view path) {
  const int fd = open(FileSystemPath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) close(fd);
  return file;
}

// Opens path for writing without blocking on a FIFO that has no reader.
std::FILE* OpenForWriting(const std::string& path, int flags, mode_t mode) {
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | flags, mode);
  if (fd < 0) return nullptr;
  std::FILE* file = nullptr;
  if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
  return file;
}

// The directory part of a path with its final '/', or "" for a bare name.
std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

InputFile::InputFile(std::string_view path) : file_(OpenRegularInput(path)), reader_(file_) {}

InputFile::~InputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

OutputFile::OutputFile(std::string_view path) : target_(FileSystemPath(path)) {
  struct stat status;
  const bool exists = stat(target_.c_str(), &status) == 0;
  if (exists && !S_ISREG(status.st_mode)) {
    file_ = OpenForWriting(target_, O_TRUNC, 0666);
    ok_ = file_ != nullptr;
    return;
  }
  if (exists) {
    char* resolved = realpath(target_.c_str(), nullptr);
    if (resolved != nullptr) target_ = resolved;
    std::free(resolved);
  }
  static std::atomic<unsigned> serial{0};
  const std::string directory = DirectoryOf(target_);
  // The name is cut short where needed so that the temporary's stays legal.
  const std::string stem = directory + "." + target_.substr(directory.size(), 200) + "." +
                           std::to_string(getpid()) + ".";
  // A temporary left by a killed run of the same process id is skipped over.
  for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
    temporary_ = stem + std::to_string(serial++) + ".tmp";
    file_ = OpenForWriting(temporary_, O_CREAT | O_EXCL, 0666);
    if (file_ == nullptr && errno != EEXIST) break;
  }
  if (file_ == nullptr) {
    temporary_.clear();
    return;
  }
  // A replaced file keeps its permissions.
  if (exists) fchmod(fileno(file_), status.st_mode & 07777);
  ok_ = true;
}

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Write(std::string_view text) {
  if (!ok_) return false;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) ok_ = false;
  return ok_;
}

bool OutputFile::Close() {
  if (file_ == nullptr) return ok_;
  if (std::fclose(file_) != 0) ok_ = false;
  file_ = nullptr;
  if (!temporary_.empty()) {
    if (ok_ && std::rename(temporary_.c_str(), target_.c_str()) != 0) ok_ = false;
    if (!ok_) unlink(temporary_.c_str());
    temporary_.clear();
  }
  return ok_;
}

void OutputFile::Abandon() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  ok_ = false;
}

bool RemoveFile(std::string_view path) {
  return unlink(FileSystemPath(path).c_str()) == 0 || errno == ENOENT || errno == ENOTDIR;
}

}  // namespace circog

namespace circog {

std::string_view FileName(std::string_view path) {
  size_t start = path.find_last_of("\\/");
  start = start == std::string_view::npos ? 0 : start + 1;
  if (start == 0 && path.size() >= 2 && path[1] == ':') start = 2;
  return path.substr(start);
}

std::string FileNamePart(std::string_view path) {
  std::string_view name = FileName(path);
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

}  // namespace circog
