#include "align/Traceback.h"

namespace circog {

char ColumnMarker(char x, char y, int32_t score) {
  // Identity is on raw bytes: 'a' against 'A' is only similar.
  if (x == y) return '|';
  return score < 0 ? '~' : ':';
}

int32_t Traceback(const TracebackInput& input, std::vector<char>& buffer, AlignedStrings out) {
  const std::string_view a = input.first;
  const std::string_view b = input.second;
  const size_t longest = a.size() + b.size();
  if (buffer.size() < 3 * longest) buffer.resize(3 * longest);
  // Three regions filled from their ends; the alignment is at most n + m long.
  char* firstEnd = buffer.data() + longest;
  char* secondEnd = firstEnd + longest;
  char* markerEnd = secondEnd + longest;
  char* f = firstEnd;
  char* s = secondEnd;
  char* mk = markerEnd;
  auto put = [&](char x, char y, char marker) {
    *--f = x;
    *--s = y;
    *--mk = marker;
  };

  int32_t similar = 0;
  ptrdiff_t i = static_cast<ptrdiff_t>(a.size()) - 1;
  ptrdiff_t j = static_cast<ptrdiff_t>(b.size()) - 1;
  while (i >= 0) {
    if (j < 0) {
      for (; i >= 0; --i) put(a[i], '-', '-');
      break;
    }
    const uint8_t direction = input.dirs.cells[static_cast<size_t>(i) * input.dirs.stride + j];
    if (direction == kDiagonal) {
      const int32_t score =
          input.substitution[input.firstClasses[i] * kResidueClasses + input.secondClasses[j]];
      const char marker = ColumnMarker(a[i], b[j], score);
      if (marker != '~') ++similar;
      put(a[i--], b[j--], marker);
    } else if (direction == kUp) {
      put(a[i--], '-', '-');
    } else {
      put('-', b[j--], '-');
    }
  }
  // The first sequence is used up; the rest of the second faces gaps.
  for (; j >= 0; --j) put('-', b[j], '-');

  out.first.assign(f, firstEnd);
  out.second.assign(s, secondEnd);
  out.markers.assign(mk, markerEnd);
  return similar;
}

}  // namespace circog
