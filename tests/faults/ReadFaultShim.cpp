// Preloaded into circog by the fault tests: reads of one named file fail
// with EIO once a given number of bytes has been served. CIRCOG_FAIL_READ
// holds "<file name>:<bytes>"; the name matches the end of the opened path.

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Fault {
  char name[256] = "";  // "/" + file name
  size_t nameLength = 0;
  long bytes = -1;  // -1: no fault configured
};

const Fault& Configured() {
  static const Fault fault = [] {
    Fault f;
    const char* text = std::getenv("CIRCOG_FAIL_READ");
    const char* colon = text == nullptr ? nullptr : std::strrchr(text, ':');
    if (colon != nullptr && colon - text < 250) {
      f.nameLength = static_cast<size_t>(std::snprintf(f.name, sizeof f.name, "/%.*s",
                                                       static_cast<int>(colon - text), text));
      f.bytes = std::atol(colon + 1);
    }
    return f;
  }();
  return fault;
}

std::atomic<long> served{0};

bool Targeted(int fd) {
  const Fault& fault = Configured();
  if (fault.bytes < 0 || fd < 0) return false;
  char link[64];
  char path[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(link, path, sizeof path);
  if (length <= 0 || static_cast<size_t>(length) < fault.nameLength) return false;
  return std::memcmp(path + length - fault.nameLength, fault.name, fault.nameLength) == 0;
}

// How many of the wanted bytes may still be served; 0 once the fault is due.
size_t Allowed(size_t wanted) {
  const long left = Configured().bytes - served.load();
  return left <= 0 ? 0 : std::min(wanted, static_cast<size_t>(left));
}

}  // namespace

extern "C" size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
  static const auto real = reinterpret_cast<size_t (*)(void*, size_t, size_t, FILE*)>(dlsym(RTLD_NEXT, "fread"));
  if (size == 0 || !Targeted(fileno(stream))) return real(buffer, size, count, stream);
  const size_t items = Allowed(size * count) / size;
  if (items == 0) {
    stream->_flags |= _IO_ERR_SEEN;  // what a failed read leaves on the stream
    errno = EIO;
    return 0;
  }
  const size_t got = real(buffer, size, items, stream);
  served += static_cast<long>(got * size);
  return got;
}

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
  static const auto real = reinterpret_cast<ssize_t (*)(int, void*, size_t)>(dlsym(RTLD_NEXT, "read"));
  if (count == 0 || !Targeted(fd)) return real(fd, buffer, count);
  const size_t allowed = Allowed(count);
  if (allowed == 0) {
    errno = EIO;
    return -1;
  }
  const ssize_t got = real(fd, buffer, allowed);
  if (got > 0) served += got;
  return got;
}
