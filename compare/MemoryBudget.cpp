#include "compare/MemoryBudget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <new>
#include <string>

#include "align/NwFill.h"

namespace circog {
namespace {

constexpr size_t kUnlimited = std::numeric_limits<size_t>::max();

size_t PageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

size_t Left(size_t limit, size_t used) { return limit > used ? limit - used : 0; }

// What is left under a resource limit, given the pages already counted
// against it (fields of /proc/self/statm: 0 the whole mapping, 5 data).
size_t LeftUnderLimit(int resource, int statmField) {
  rlimit limit{};
  if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kUnlimited;
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  for (int field = 0; field <= statmField && statm >> pages; ++field) {
  }
  return Left(static_cast<size_t>(limit.rlim_cur), pages * PageSize());
}

size_t ReadBytes(const std::string& path) {
  std::ifstream file(path);
  std::string text;
  if (!(file >> text) || text == "max") return kUnlimited;
  try {
    return static_cast<size_t>(std::stoull(text));
  } catch (...) {
    return kUnlimited;
  }
}

// cgroup v2: the process's group is the "0::" line; every enclosing group's
// memory.max applies too.
size_t LeftInCgroup() {
  std::ifstream membership("/proc/self/cgroup");
  std::string line;
  std::string group;
  while (std::getline(membership, line)) {
    if (line.rfind("0::", 0) == 0) group = line.substr(3);
  }
  size_t left = kUnlimited;
  while (!group.empty() && group != "/") {
    const std::string dir = "/sys/fs/cgroup" + group;
    const size_t max = ReadBytes(dir + "/memory.max");
    if (max != kUnlimited) left = std::min(left, Left(max, ReadBytes(dir + "/memory.current")));
    group.erase(group.rfind('/'));
  }
  return left;
}

}  // namespace

size_t AvailableMemory() {
  const size_t physical = static_cast<size_t>(sysconf(_SC_PHYS_PAGES)) * PageSize();
  return std::min({physical, LeftUnderLimit(RLIMIT_AS, 0), LeftUnderLimit(RLIMIT_DATA, 5),
                   LeftInCgroup()});
}

size_t AlignmentBytes(size_t n, size_t m) {
  // Saturating: sizes beyond any memory must not wrap round to small ones.
  const size_t stride = DirectionStride(static_cast<int32_t>(std::min<size_t>(m, INT32_MAX - 128)));
  if (n != 0 && stride > kUnlimited / n) return kUnlimited;
  return n * stride + 64 * (n + m) + 4096;
}

void MemoryBudget::Acquire(size_t bytes) {
  if (bytes > total_) throw std::bad_alloc();
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t ticket = nextTicket_++;
  changed_.wait(lock, [&] { return serving_ == ticket && bytes <= total_ - used_; });
  used_ += bytes;
  ++serving_;
  changed_.notify_all();
}

void MemoryBudget::Release(size_t bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    used_ -= bytes;
  }
  changed_.notify_all();
}

}  // namespace circog
