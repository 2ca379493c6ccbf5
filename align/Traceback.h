#pragma once
// The one traceback every fill kernel shares: it walks the direction matrix
// from the last cell, so a kernel cannot change output. The walk either only
// counts or also builds the aligned strings and the marker line.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "align/NwFill.h"

namespace circog {

struct TracebackInput {
  std::string_view first;   // the raw bytes, for output and identity
  std::string_view second;
  const uint8_t* firstClasses = nullptr;  // residue classes, for scores
  const uint8_t* secondClasses = nullptr;
  const int32_t* substitution = nullptr;  // kResidueClasses x kResidueClasses
  DirectionMatrix dirs;                   // first.size() rows
};

struct TracebackCounts {
  int32_t similarCount = 0;  // columns marked '|' or ':'
  int32_t columns = 0;       // alignment length
};

struct AlignedStrings {
  std::string& first;
  std::string& second;
  std::string& markers;
};

// Counts the similar columns and the alignment length without building text.
TracebackCounts CountColumns(const TracebackInput& input);

// The same walk, replacing the three output strings as well. buffer is
// working storage kept by the caller.
TracebackCounts Traceback(const TracebackInput& input, std::vector<char>& buffer, AlignedStrings out);

// The marker of a column with a residue on both sides: '|' for the same
// byte, else '~' for a negative score, else ':'. '|' and ':' count as similar.
char ColumnMarker(char x, char y, int32_t score);

}  // namespace circog
