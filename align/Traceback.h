#pragma once
// The one traceback every fill kernel shares: it turns a direction matrix into
// the aligned strings and the marker line, so a kernel cannot change output.

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

struct AlignedStrings {
  std::string& first;
  std::string& second;
  std::string& markers;
};

// Walks back from the last cell and replaces the three output strings.
// buffer is working storage kept by the caller. Returns the number of
// columns marked '|' or ':'.
int32_t Traceback(const TracebackInput& input, std::vector<char>& buffer, AlignedStrings out);

// The marker of a column with a residue on both sides: '|' for the same
// byte, else '~' for a negative score, else ':'. '|' and ':' count as similar.
char ColumnMarker(char x, char y, int32_t score);

}  // namespace circog
