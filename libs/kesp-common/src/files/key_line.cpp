#include "files/key_line.h"

#include <cctype>

namespace KESP {
namespace detail {

namespace {
bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
}  // namespace

bool parseKeyLine(const std::string& line, char separator, bool collapse, bool separatorMayLead,
                  std::string& key, std::string& value) {
  std::string::size_type start = 0;
  while (start < line.size() && isBlank(line[start])) ++start;
  if (start == line.size()) return false;
  char first = line[start];
  if (first == '#' || first == ';') return false;
  if (first == separator && !separatorMayLead) return false;

  std::string::size_type at = line.find(separator, start);
  if (at == std::string::npos) return false;
  if (collapse)
    while (at + 1 < line.size() && line[at + 1] == separator) ++at;

  // With a collapsed run the key ends at the run's last separator, so earlier
  // non-blank separators of the run stay in the key.
  key.assign(line, start, at - start);
  while (!key.empty() && isBlank(key.back())) key.pop_back();

  std::string::size_type valueStart = at + 1;
  while (valueStart < line.size() && isBlank(line[valueStart])) ++valueStart;
  value.assign(line, valueStart, std::string::npos);
  return true;
}

bool parseSectionHeader(const std::string& line, std::string& name) {
  std::string::size_type start = 0;
  while (start < line.size() && isBlank(line[start])) ++start;
  if (start >= line.size() || line[start] != '[' || line.back() != ']' ||
      line.size() - start < 2)
    return false;
  name.assign(line, start + 1, line.size() - start - 2);
  return true;
}

}  // namespace detail
}  // namespace KESP
