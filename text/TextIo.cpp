#include "text/TextIo.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

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
  // strtod on the isolated prefix: correct rounding, and no hex or "inf" forms.
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
  if (end_ == 0) eof_ = true;
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
  // The last line has no line feed; a CR at the very end of the file is dropped.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

namespace {

// A directory opens for reading here but yields no text: it is no input file.
std::FILE* OpenRegularInput(std::string_view path) {
  std::FILE* file = std::fopen(FileSystemPath(path).c_str(), "rb");
  struct stat status;
  if (file != nullptr && fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

}  // namespace

InputFile::InputFile(std::string_view path) : file_(OpenRegularInput(path)), reader_(file_) {}

InputFile::~InputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

OutputFile::OutputFile(std::string_view path)
    : file_(std::fopen(FileSystemPath(path).c_str(), "wb")), ok_(file_ != nullptr) {}

OutputFile::~OutputFile() { Close(); }

bool OutputFile::WriteLine(std::string_view text) {
  if (!ok_) return false;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
      std::fputc('\n', file_) == EOF) {
    ok_ = false;
  }
  return ok_;
}

bool OutputFile::Close() {
  if (file_ != nullptr) {
    if (std::fclose(file_) != 0) ok_ = false;
    file_ = nullptr;
  }
  return ok_;
}

}  // namespace circog

namespace circog {

std::string FileNamePart(std::string_view path) {
  size_t start = path.find_last_of("\\/");
  start = start == std::string_view::npos ? 0 : start + 1;
  if (start == 0 && path.size() >= 2 && path[1] == ':') start = 2;
  std::string_view name = path.substr(start);
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

}  // namespace circog
