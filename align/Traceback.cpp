#include "align/Traceback.h"

#include <cstddef>

namespace circog {
namespace {

// Takes no notice of the columns: counting is all the walk does.
struct NoText {
  void Column(char, char, char) {}
  void Pair(char, char, int32_t) {}
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
  void Pair(char x, char y, int32_t score) { Column(x, y, ColumnMarker(x, y, score)); }

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

// Cell (i, j) of a direction matrix, stepped up and to the left by pointer
// moves alone (see DirectionMatrix for the layouts). The walk branches on
// each direction: runs of diagonal steps are predicted, and the next address
// then never waits for the last load.
template <bool kPacked>
class Cell {
 public:
  Cell(const DirectionMatrix& dirs, ptrdiff_t i, ptrdiff_t j)
      : stride_(dirs.stride),
        vectorBytes_(kPacked ? static_cast<size_t>(dirs.lanes) / 4 : static_cast<size_t>(dirs.lanes)),
        upBytes_(dirs.UpOffset()),
        blockStep_(dirs.BlockStep()),
        segment_(static_cast<size_t>(dirs.segment)),
        vector_(static_cast<size_t>(j) % segment_) {
    const size_t lane = static_cast<size_t>(j) / segment_;
    at_ = dirs.cells + static_cast<size_t>(i) * stride_ + vector_ * vectorBytes_ +
          (kPacked ? lane / 8 * blockStep_ : lane);
    bit_ = static_cast<unsigned>(lane % 8);
  }

  uint8_t Direction() const {
    if constexpr (!kPacked) {
      return *at_;
    } else {
      if ((at_[0] >> bit_) & 1) return kDiagonal;
      return (at_[upBytes_] >> bit_) & 1 ? kUp : kLeft;
    }
  }
  void StepUp() { at_ -= stride_; }
  void StepLeft() {
    if (vector_ != 0) {
      --vector_;
      at_ -= vectorBytes_;
      return;
    }
    // From the first vector back to the last one, one lane down.
    vector_ = segment_ - 1;
    at_ += vector_ * vectorBytes_;
    if (!kPacked) {
      --at_;
    } else if (bit_ == 0) {
      at_ -= blockStep_;
      bit_ = 7;
    } else {
      --bit_;
    }
  }

 private:
  const uint8_t* at_;
  unsigned bit_;
  size_t stride_;
  size_t vectorBytes_;
  size_t upBytes_;
  size_t blockStep_;
  size_t segment_;
  size_t vector_;
};

template <bool kPacked, typename Text>
TracebackCounts Walk(const TracebackInput& input, Text& text) {
  const std::string_view a = input.first;
  const std::string_view b = input.second;
  const int32_t* substitution = input.substitution;
  const uint8_t* firstClasses = input.firstClasses;
  const uint8_t* secondClasses = input.secondClasses;
  int32_t similar = 0;
  int32_t diagonals = 0;
  auto i = static_cast<ptrdiff_t>(a.size()) - 1;
  auto j = static_cast<ptrdiff_t>(b.size()) - 1;
  if (i >= 0 && j >= 0) {
    Cell<kPacked> cell(input.dirs, i, j);
    for (;;) {
      const uint8_t direction = cell.Direction();
      if (direction == kDiagonal) {
        const int32_t score = substitution[firstClasses[i] * kResidueClasses + secondClasses[j]];
        // Identical bytes are as likely as not: a branch on them would be
        // mispredicted at every other column.
        similar += static_cast<int32_t>(a[i] == b[j]) | static_cast<int32_t>(score >= 0);
        ++diagonals;
        text.Pair(a[i], b[j], score);
        --i;
        --j;
        cell.StepUp();
        cell.StepLeft();
      } else if (direction == kUp) {
        text.Column(a[i], '-', '-');
        --i;
        cell.StepUp();
      } else {
        text.Column('-', b[j], '-');
        --j;
        cell.StepLeft();
      }
      if (i < 0 || j < 0) break;
    }
  }
  // One sequence is used up; the rest of the other faces gaps.
  for (; i >= 0; --i) text.Column(a[i], '-', '-');
  for (; j >= 0; --j) text.Column('-', b[j], '-');
  return {similar, static_cast<int32_t>(a.size() + b.size()) - diagonals};
}

template <typename Text>
TracebackCounts Walk(const TracebackInput& input, Text& text) {
  return input.dirs.packed ? Walk<true>(input, text) : Walk<false>(input, text);
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
