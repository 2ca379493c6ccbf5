#include "prepare/PrepareText.h"

#include <limits>

#include "text/TextIo.h"

namespace circog {

namespace {

constexpr int kProteinIdColumn = 3;
constexpr int kPositionColumn = 4;
constexpr int kCogIdColumn = 7;
constexpr int kExclusionColumn = 11;

const std::string& Column(const GeneTableRow& row, int column) { return row.fields[column - 1]; }

}  // namespace

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

std::optional<GenomeSizeEntry> ParseGenomeSizeLine(std::string_view line) {
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return std::nullopt;
  return GenomeSizeEntry{std::string(line.substr(0, tab)), ParseGenomeSize(line.substr(tab + 1))};
}

const GenomeSizeEntry* FindGenomeSize(const std::vector<GenomeSizeEntry>& sizes, std::string_view key) {
  for (const GenomeSizeEntry& entry : sizes) {
    if (entry.genomeName == key) return &entry;
  }
  return nullptr;
}

std::string GenomeKey(std::string_view path) {
  const std::string name = FileNamePart(path);
  const size_t start = name.find_first_not_of('.');
  if (start == std::string::npos) return std::string();
  const size_t end = name.find('.', start);
  return name.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool SplitGeneTableRow(std::string_view line, GeneTableRow& row) {
  if (line.empty()) return false;
  size_t start = 0;
  bool ended = false;
  for (std::string& field : row.fields) {
    if (ended) {
      field.clear();
      continue;
    }
    const size_t tab = line.find('\t', start);
    field.assign(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    ended = tab == std::string_view::npos;
    start = tab + 1;
  }
  return true;
}

std::optional<std::string> AngleLine(const GeneTableRow& row, int32_t genomeSize) {
  // "-" and other placeholders of up to 2 characters are no COG identifier.
  if (Column(row, kExclusionColumn) == "PUTAL" || Column(row, kCogIdColumn).size() <= 2) {
    return std::nullopt;
  }
  // A floating-point division: a size of 0 gives inf or nan, as printed.
  const double angle = ParseDecimalPrefix(Column(row, kPositionColumn)) / genomeSize * 360.0;
  return Column(row, kCogIdColumn) + '\t' + FormatG(angle) + '\t' + Column(row, kProteinIdColumn);
}

}  // namespace circog
