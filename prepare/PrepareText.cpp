#include "prepare/PrepareText.h"

#include <limits>

#include "text/TextIo.h"

namespace circog {

int32_t ParseGenomeSize(std::string_view text) {
  size_t pos = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++pos;
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = value * 10 + (text[pos] - '0');
    if (value > kLimit) value = kLimit;  // stays clamped however many digits follow
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

std::string GenomeKey(std::string_view path) {
  const std::string name = FileNamePart(path);
  const size_t start = name.find_first_not_of('.');
  if (start == std::string::npos) return std::string();
  const size_t end = name.find('.', start);
  return name.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace circog
