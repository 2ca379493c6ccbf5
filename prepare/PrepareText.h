#pragma once
// The logic of the preparation stages as free functions, kept apart from the
// engine's file work so tests call them directly.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/MappingEngine.h"

namespace circog {

// A genome size: an optional '-' and decimal digits, read up to the first
// other character; anything else (a leading blank or '+') gives 0. Values
// beyond 32 bits are clamped.
int32_t ParseGenomeSize(std::string_view text);

// A size-table line: the name before its first tab, the size after it. A
// line without a tab names no genome.
std::optional<GenomeSizeEntry> ParseGenomeSizeLine(std::string_view line);

// The first entry named key, or null.
const GenomeSizeEntry* FindGenomeSize(const std::vector<GenomeSizeEntry>& sizes, std::string_view key);

// The genome key of a gene table path: its file name part, without leading
// '.' characters, up to the next '.'.
std::string GenomeKey(std::string_view path);

// Splits a gene-table line into its first 11 tab-separated columns; missing
// ones are empty, later ones dropped. False for an empty line, which leaves
// row as it was.
bool SplitGeneTableRow(std::string_view line, GeneTableRow& row);

// The angle file line of a row (COG identifier, angle, protein identifier),
// or nothing for a row that is excluded or has no real COG identifier.
std::optional<std::string> AngleLine(const GeneTableRow& row, int32_t genomeSize);

}  // namespace circog
