#include "align/Traceback.h"

namespace circog {
namespace {

// Takes no notice of the columns: counting is all the walk does.
struct NoText {
  void Column(char, char, char) {}
};

// Fills three regions from their ends; an alignment is at most n + m long.
class TextFromEnd {
 public:
  TextFromEnd(std::vector<char>& buffer, size_t longest) {
    if (buffer.size() < 3 * longest) buffer.resize(3 * longest);
    firstEnd_ = buffer.data() + longest;
    secondEnd_ = firstEnd_ + longest;
    markerEnd_ = secondEnd_ + longest;
    first_ = firstEnd_;
    second_ = secondEnd_;
    marker_ = markerEnd_;
  }

  void Column(char x, char y, char marker) {
    *--first_ = x;
    *--second_ = y;
    *--marker_ = marker;
  }

  void CopyTo(AlignedStrings out) const {
    out.first.assign(first_, firstEnd_);
    out.second.assign(second_, secondEnd_);
    out.markers.assign(marker_, markerEnd_);
  }

 private:
  char* firstEnd_;
  char* secondEnd_;
  char* markerEnd_;
  char* first_;
  char* second_;
  char* marker_;
};

// Column j of a direction row, stepped from the last column to the first
// without a division per step (see DirectionMatrix for the layout).
class ColumnCursor {
 public:
  ColumnCursor(const DirectionMatrix& dirs, int32_t j)
      : lanes_(dirs.lanes), segment_(dirs.segment), vector_(j % dirs.segment), lane_(j / dirs.segment) {}

  size_t Offset() const { return static_cast<size_t>(vector_) * lanes_ + lane_; }
  void StepLeft() {
    if (vector_ == 0) {
      vector_ = segment_;
      --lane_;
    }
    --vector_;
  }

 private:
  int32_t lanes_;
  int32_t segment_;
  int32_t vector_;
  int32_t lane_;
};

template <typename Text>
TracebackCounts Walk(const TracebackInput& input, Text& text) {
  const std::string_view a = input.first;
  const std::string_view b = input.second;
  TracebackCounts counts;
  int32_t diagonals = 0;
  auto i = static_cast<int32_t>(a.size()) - 1;
  auto j = static_cast<int32_t>(b.size()) - 1;
  if (i >= 0 && j >= 0) {
    ColumnCursor column(input.dirs, j);
    while (i >= 0 && j >= 0) {
      const uint8_t direction = input.dirs.cells[static_cast<size_t>(i) * input.dirs.stride + column.Offset()];
      if (direction == kDiagonal) {
        const int32_t score =
            input.substitution[input.firstClasses[i] * kResidueClasses + input.secondClasses[j]];
        const char marker = ColumnMarker(a[i], b[j], score);
        counts.similarCount += marker != '~';
        ++diagonals;
        text.Column(a[i--], b[j--], marker);
        column.StepLeft();
      } else if (direction == kUp) {
        text.Column(a[i--], '-', '-');
      } else {
        text.Column('-', b[j--], '-');
        column.StepLeft();
      }
    }
  }
  // One sequence is used up; the rest of the other faces gaps.
  for (; i >= 0; --i) text.Column(a[i], '-', '-');
  for (; j >= 0; --j) text.Column('-', b[j], '-');
  counts.columns = static_cast<int32_t>(a.size() + b.size()) - diagonals;
  return counts;
}

}  // namespace

char ColumnMarker(char x, char y, int32_t score) {
  // Identity is on raw bytes: 'a' against 'A' is only similar.
  if (x == y) return '|';
  return score < 0 ? '~' : ':';
}

TracebackCounts CountColumns(const TracebackInput& input) {
  NoText text;
  return Walk(input, text);
}

TracebackCounts Traceback(const TracebackInput& input, std::vector<char>& buffer, AlignedStrings out) {
  TextFromEnd text(buffer, input.first.size() + input.second.size());
  const TracebackCounts counts = Walk(input, text);
  text.CopyTo(out);
  return counts;
}

}  // namespace circog
