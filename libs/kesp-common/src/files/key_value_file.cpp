#include <cctype>

#include "files/key_line.h"
#include "kesp/util.h"

namespace KESP {

namespace {

/// True when the line, from its first non-blank character, ends with "]" and the
/// text between that character and the last equals the section name. Looser
/// than a header when reading: the first character need not be "[".
bool isInsertionHeader(const std::string& line, const std::string& section) {
  std::string::size_type start = 0;
  while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start]))) ++start;
  if (line.size() - start < 2 || line.back() != ']') return false;
  return line.compare(start + 1, line.size() - start - 2, section) == 0;
}

}  // namespace

size_t KeyValueFile::findIn(const std::string* section, const std::string& key,
                            std::vector<std::string>& values, std::vector<Position>& positions) {
  std::string current;  // lines before the first header belong to the empty section
  std::string lineKey, lineValue, header;
  for (Position it = lines.begin(); it != lines.end(); ++it) {
    if (section && detail::parseSectionHeader(*it, header)) {
      current = header;
      continue;
    }
    if (section && current != *section) continue;
    if (!detail::parseKeyLine(*it, separator_, collapse_, false, lineKey, lineValue)) continue;
    if (lineKey != key) continue;
    values.push_back(lineValue);
    positions.push_back(it);
  }
  return values.size();
}

size_t KeyValueFile::find(const std::string& key, std::vector<std::string>& values,
                          std::vector<Position>& positions) {
  return findIn(nullptr, key, values, positions);
}

size_t KeyValueFile::find(const std::string& section, const std::string& key,
                          std::vector<std::string>& values, std::vector<Position>& positions) {
  return findIn(&section, key, values, positions);
}

bool KeyValueFile::getAll(const std::string& key, std::vector<std::string>& values) {
  std::vector<Position> positions;
  return findIn(nullptr, key, values, positions) > 0;
}

bool KeyValueFile::get(const std::string& key, std::string& value) {
  std::vector<std::string> values;
  std::vector<Position> positions;
  if (findIn(nullptr, key, values, positions) == 0) return false;
  value = values.front();
  return true;
}

void KeyValueFile::setIn(const std::string* section, const std::string& key,
                         const std::vector<std::string>& values) {
  std::vector<std::string> found;
  std::vector<Position> positions;
  findIn(section, key, found, positions);

  size_t next = 0;
  for (const std::string& value : values) {
    std::string line = key + separator_ + value;
    if (next < positions.size()) {
      *positions[next++] = line;
      continue;
    }
    if (!section) {
      lines.push_back(line);
      continue;
    }
    Position header = lines.end();
    for (Position it = lines.begin(); it != lines.end(); ++it) {
      if (isInsertionHeader(*it, *section)) {
        header = it;
        break;
      }
    }
    if (header == lines.end()) {
      lines.push_back("[" + *section + "]");
      lines.push_back(line);
    } else {
      lines.insert(std::next(header), line);
    }
  }
  for (; next < positions.size(); ++next) lines.erase(positions[next]);
}

bool KeyValueFile::set(const std::string& key, const std::string& value) {
  setIn(nullptr, key, std::vector<std::string>{value});
  return true;
}

bool KeyValueFile::set(const std::string& key, const std::vector<std::string>& values) {
  setIn(nullptr, key, values);
  return true;
}

bool KeyValueFile::set(const std::string& section, const std::string& key,
                       const std::string& value) {
  setIn(&section, key, std::vector<std::string>{value});
  return true;
}

bool KeyValueFile::set(const std::string& section, const std::string& key,
                       const std::vector<std::string>& values) {
  setIn(&section, key, values);
  return true;
}

bool KeyValueFile::removeIn(const std::string* section, const std::string& key) {
  std::vector<std::string> values;
  std::vector<Position> positions;
  findIn(section, key, values, positions);
  for (Position position : positions) lines.erase(position);
  return !positions.empty();
}

bool KeyValueFile::remove(const std::string& key) { return removeIn(nullptr, key); }

bool KeyValueFile::remove(const std::string& section, const std::string& key) {
  return removeIn(&section, key);
}

}  // namespace KESP
