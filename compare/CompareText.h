#pragma once
// Pure text and number rules of the comparison stages, kept apart so tests
// call them directly.

#include <string>
#include <string_view>

namespace circog {

// The protein identifier of a FASTA header line (">" included): with a '|',
// the first non-empty field after the first '|'; without one, the first word
// after '>'.
std::string ProteinIdentifier(std::string_view header);

// The protein file beside an angle file: its last four characters replaced by ".faa".
std::string ProteinFilePath(std::string_view anglePath);

// How far apart two angles lie on the circle, in degrees (0 to 180 for angles
// within one turn).
double CircularDistance(float first, float second);

}  // namespace circog
