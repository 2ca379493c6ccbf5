#pragma once
// The contract every global-alignment fill kernel meets: given two sequences
// as residue classes, fill the direction matrix and return the final score,
// exactly as the scalar reference does.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace circog {

// Twenty residues with a table index, then one class for every other byte.
constexpr int kResidueClasses = 21;
constexpr uint8_t kNoTableIndex = 20;

// Directions: the cell came from the diagonal, from above (residue of the
// first sequence against a gap) or from the left (gap against the second).
constexpr uint8_t kDiagonal = 1;
constexpr uint8_t kUp = 2;
constexpr uint8_t kLeft = 3;

struct NwProblem {
  const uint8_t* first = nullptr;  // residue classes, 0 to kNoTableIndex
  int32_t n = 0;
  const uint8_t* second = nullptr;
  int32_t m = 0;
  // kResidueClasses x kResidueClasses scores, row-major and symmetric; the
  // row and column of kNoTableIndex are 0.
  const int32_t* substitution = nullptr;
  int32_t gap = 0;  // added once per gap position
  // The lowest and highest substitution scores, when the caller keeps them
  // with the table; otherwise kernels that need them look them up per call.
  bool rangeKnown = false;
  int32_t lowestScore = 0;
  int32_t highestScore = 0;
  // The diagonal steps as bytes, when the caller keeps them with the table:
  // kResidueClasses rows of 32, entry k of row c the low byte of
  // substitution[c][k] - 2 gap, entry kResidueClasses that of -2 gap (a
  // padded column), the rest 0. Kernels that need them build them otherwise.
  const uint8_t* diagonalSteps = nullptr;
};

// Fills in the rows that NwProblem::diagonalSteps points to.
void SetDiagonalSteps(const NwProblem& problem, uint8_t (&steps)[kResidueClasses][32]);

// Fills in the range of the problem's substitution scores.
void SetScoreRange(NwProblem& problem);

// Cell (i, j) of the n x m direction matrix, both 0-based, lies in row i at
// cells + i * stride. Within a row a kernel may keep the plain column order or
// stripe the columns over its lanes: with L lanes and segments of S columns,
// column j = l * S + v sits in lane l of vector v. The plain order is L = 1
// with one segment longer than any row. A row holds a byte per cell (byte
// v * L + l), or, packed, two L-bit masks per vector of L / 4 bytes from byte
// v * L / 4 on: the cells that came from the diagonal, and those whose score
// equals the up candidate; the diagonal wins where both are set. Lane l is
// bit l % 8 of its block of eight lanes, l / 8. The masks of a vector lie
// either mask after mask (every block's diagonal byte, then every block's up
// byte) or, interleaved, block after block (diagonal byte, up byte); with
// eight lanes the two agree. Kernels may write anywhere in the n x stride
// bytes they are given, and set stride, lanes, segment, packed and
// interleaved to the layout they used.
struct DirectionMatrix {
  uint8_t* cells = nullptr;
  size_t stride = 0;
  int32_t lanes = 1;
  int32_t segment = INT32_MAX;
  bool packed = false;
  bool interleaved = false;

  // The plain byte layout, which the scalar reference writes.
  void SetPlain() {
    lanes = 1;
    segment = INT32_MAX;
    packed = false;
    interleaved = false;
  }

  // Packed masks: how far apart two blocks' diagonal bytes lie, and how far
  // a block's up byte lies from its diagonal byte.
  size_t BlockStep() const { return interleaved ? 2 : 1; }
  size_t UpOffset() const { return interleaved ? 1 : static_cast<size_t>(lanes) / 8; }

  // Direction of cell (i, j); the traceback steps through a row without it.
  uint8_t At(int32_t i, int32_t j) const {
    const uint8_t* row = cells + static_cast<size_t>(i) * stride;
    const auto vector = static_cast<size_t>(j % segment);
    const auto lane = static_cast<size_t>(j / segment);
    if (!packed) return row[vector * lanes + lane];
    const uint8_t* masks = row + vector * lanes / 4 + lane / 8 * BlockStep();
    const int bit = static_cast<int>(lane % 8);
    if ((masks[0] >> bit) & 1) return kDiagonal;
    return (masks[UpOffset()] >> bit) & 1 ? kUp : kLeft;
  }
};

// Rows are padded to whole 64-byte blocks, the widest vector a kernel stores.
constexpr size_t DirectionStride(int32_t m) {
  return (static_cast<size_t>(m) + 63) / 64 * 64 + 64;
}

// Memory a kernel keeps from call to call; 64-byte aligned, grows on demand.
class NwScratch {
 public:
  void* Get(size_t bytes);

 private:
  struct Free {
    void operator()(void* p) const;
  };
  std::unique_ptr<void, Free> block_;
  size_t size_ = 0;
};

using NwFillFn = int32_t (*)(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch);

// Two independent problems filled at once, their rows taking turns so that
// the serial steps of one run beside the work of the other; for each, what a
// fill gives. Each array holds two.
using NwFillTwoFn = void (*)(const NwProblem* problems, DirectionMatrix* dirs, NwScratch* scratch,
                             int32_t* scores);

// Residue classes of count bytes: a letter, in either case, takes entry
// letter & 31 of letterClasses (1 for A to 26 for Z; 32 entries), any other
// byte kNoTableIndex.
using NwClassifyFn = void (*)(const uint8_t* letterClasses, const char* bytes, size_t count,
                              uint8_t* classes);

// The reference classification, a byte at a time.
void NwClassifyScalar(const uint8_t* letterClasses, const char* bytes, size_t count, uint8_t* classes);

// The reference: one cell at a time, rows of the first sequence, columns of
// the second; ties go to the diagonal, then up, then left.
int32_t NwFillScalar(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch);

}  // namespace circog
