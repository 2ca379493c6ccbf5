#pragma once
// Pure text rules of the preparation stages, kept apart so tests call them directly.

#include <cstdint>
#include <string>
#include <string_view>

namespace circog {

// A genome size: an optional '-' and decimal digits, read up to the first
// other character; anything else (a leading blank or '+') gives 0. Values
// beyond 32 bits are clamped.
int32_t ParseGenomeSize(std::string_view text);

// The genome key of a gene table path: its file name part, without leading
// '.' characters, up to the next '.'.
std::string GenomeKey(std::string_view path);

}  // namespace circog
