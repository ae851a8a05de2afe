// The key-value grammar: single lines (keys, values, section headers) and the
// editing of a whole file held in memory.

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>

#include "fuzz_support.h"
#include "files/key_line.h"
#include "kesp/util.h"

using namespace KESP;

namespace {

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

/// A key the grammar can always find again: no blank, separator, comment or
/// header character, no line break.
bool isPlainKey(const std::string& key, char separator) {
  if (key.empty() || key[0] == '#' || key[0] == ';' || key[0] == '[') return false;
  for (char c : key) {
    if (isBlank(c) || c == separator || c == '\0') return false;
  }
  return true;
}

/// A value that comes back unchanged: one line, no leading blank, and with a
/// collapsing separator not starting with it either.
bool isPlainValue(const std::string& value, char separator, bool collapse) {
  if (value.find('\n') != std::string::npos) return false;
  if (!value.empty() && isBlank(value[0])) return false;
  return !(collapse && !value.empty() && value[0] == separator);
}

/// A line the section setter could take for the section's header without the
/// reader taking it for one (the setter's looser rule allows any first character).
bool hasLookalikeHeader(const std::list<std::string>& lines, const std::string& section) {
  for (const std::string& line : lines) {
    std::string::size_type start = 0;
    while (start < line.size() && isBlank(line[start])) ++start;
    if (line.size() - start < 2 || line.back() != ']') continue;
    if (line.compare(start + 1, line.size() - start - 2, section) == 0 && line[start] != '[')
      return true;
  }
  return false;
}

void checkLineGrammar(const std::string& line, char separator, bool collapse) {
  std::string key, value;
  for (bool mayLead : {false, true}) {
    if (!detail::parseKeyLine(line, separator, collapse, mayLead, key, value)) continue;
    KESP_FUZZ_CHECK(key.empty() || !isBlank(key.back()));
    KESP_FUZZ_CHECK(value.empty() || !isBlank(value[0]));
    KESP_FUZZ_CHECK(line.find(key) != std::string::npos);
    KESP_FUZZ_CHECK(line.size() >= value.size() &&
                    line.compare(line.size() - value.size(), value.size(), value) == 0);
    KESP_FUZZ_CHECK(mayLead || !key.empty());
  }
  std::string name;
  if (detail::parseSectionHeader(line, name)) {
    KESP_FUZZ_CHECK(line.back() == ']');
    KESP_FUZZ_CHECK(line.find("[" + name + "]") != std::string::npos);
  }
}

void checkEditing(const std::list<std::string>& lines, char separator, bool collapse,
                  const std::string& section, const std::string& key, const std::string& value) {
  KeyValueFile file(separator, collapse);
  file.lines = lines;

  std::vector<std::string> all;
  std::string first;
  const bool found = file.get(key, first);
  KESP_FUZZ_CHECK(file.getAll(key, all) == found);
  if (found) KESP_FUZZ_CHECK(first == all.front());

  if (!isPlainKey(key, separator) || !isPlainValue(value, separator, collapse)) return;

  // A set key reads back as set, on exactly one line, and other keys keep their values.
  KeyValueFile edited(separator, collapse);
  edited.lines = lines;
  edited.set(key, value);
  std::vector<std::string> after;
  KESP_FUZZ_CHECK(edited.getAll(key, after));
  KESP_FUZZ_CHECK(after.size() == 1 && after.front() == value);
  KESP_FUZZ_CHECK(edited.remove(key));
  KESP_FUZZ_CHECK(!edited.get(key, first));

  if (section.find('\n') != std::string::npos || section.find(']') != std::string::npos ||
      hasLookalikeHeader(lines, section))
    return;
  KeyValueFile sectioned(separator, collapse);
  sectioned.lines = lines;
  sectioned.set(section, key, value);
  std::vector<std::string> values;
  std::vector<KeyValueFile::Position> positions;
  KESP_FUZZ_CHECK(sectioned.find(section, key, values, positions) == 1);
  KESP_FUZZ_CHECK(values.front() == value);
  KESP_FUZZ_CHECK(sectioned.remove(section, key));
  values.clear();
  positions.clear();
  KESP_FUZZ_CHECK(sectioned.find(section, key, values, positions) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kesp_fuzz::silenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const char separator = input.PickValueInArray({'=', ' ', ':', '\t'});
  const bool collapse = input.ConsumeBool();
  const std::string section = input.ConsumeRandomLengthString(16);
  const std::string key = input.ConsumeRandomLengthString(24);
  const std::string value = input.ConsumeRandomLengthString(48);
  const std::list<std::string> lines = kesp_fuzz::linesOf(input.ConsumeRemainingBytesAsString());

  for (const std::string& line : lines) checkLineGrammar(line, separator, collapse);
  checkEditing(lines, separator, collapse, section, key, value);
  return 0;
}
