// resolv.conf as its own owner: the "nameserver" lines of the file itself,
// every other line kept.

#include <cerrno>

#include "files/file_write.h"
#include "files/text_lines.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "settings/name_server_owners.h"

namespace KESP {
namespace detail {

namespace {

const char kNameServerKeyword[] = "nameserver";

bool isNameServerLine(const std::string& line) {
  const size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos || line.compare(start, 10, kNameServerKeyword) != 0) return false;
  const size_t after = start + 10;
  return after == line.size() || line[after] == ' ' || line[after] == '\t';
}

}  // namespace

std::vector<std::string> nameServersOf(const std::string& text) {
  KeyValueFile resolver(' ');
  resolver.lines = splitLines(text);
  std::vector<std::string> servers;
  resolver.getAll(kNameServerKeyword, servers);
  return servers;
}

std::string withNameServers(const std::string& text, const std::vector<std::string>& servers) {
  std::list<std::string> newLines;
  for (const std::string& server : servers) newLines.push_back(kNameServerKeyword + (" " + server));
  std::list<std::string> lines = splitLines(text);
  bool placed = false;
  for (auto line = lines.begin(); line != lines.end();) {
    if (!isNameServerLine(*line)) {
      ++line;
      continue;
    }
    if (!placed) lines.insert(line, newLines.begin(), newLines.end());
    placed = true;
    line = lines.erase(line);
  }
  if (!placed) lines.insert(lines.end(), newLines.begin(), newLines.end());
  return joinLines(lines);
}

bool writeResolverFile(const std::vector<std::string>& servers, bool, const char* operation) {
  const std::string target = sysPath(RESOLV_CONF);
  std::string current;
  bool missing = false;
  if (!readWholeFile(target, current, &missing) && !missing) {
    KESP_LOG(LOG_ERROR, operation, "can't read " << target << errnoSuffix(errno));
    return false;
  }
  if (!replaceFile(target, withNameServers(current, servers))) {
    KESP_LOG(LOG_ERROR, operation, "Failed to write file " << target);
    return false;
  }
  return true;
}

bool readResolverFile(std::vector<std::string>& servers, std::string& source) {
  std::string text;
  if (!readWholeFile(sysPath(RESOLV_CONF), text)) return false;
  servers = nameServersOf(text);
  source = RESOLV_CONF;
  return true;
}

}  // namespace detail
}  // namespace KESP
