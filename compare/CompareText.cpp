#include "compare/CompareText.h"

#include <cmath>

namespace circog {

std::string ProteinIdentifier(std::string_view header) {
  const size_t bar = header.find('|');
  if (bar == std::string_view::npos) {
    const std::string_view rest = header.substr(1);
    return std::string(rest.substr(0, rest.find_first_of(" \t")));
  }
  const size_t start = header.find_first_not_of('|', bar);
  if (start == std::string_view::npos) return std::string();
  const size_t end = header.find('|', start);
  return std::string(header.substr(start, end == std::string_view::npos ? end : end - start));
}

std::string ProteinFilePath(std::string_view anglePath) {
  const size_t keep = anglePath.size() < 4 ? 0 : anglePath.size() - 4;
  return std::string(anglePath.substr(0, keep)) + ".faa";
}

double CircularDistance(float first, float second) {
  const float difference = first - second;
  const double magnitude = std::fabs(static_cast<double>(difference));
  return magnitude > 180.0 ? 360.0 - magnitude : magnitude;
}

}  // namespace circog
