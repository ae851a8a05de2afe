// The host name of an offline image: its files only, since no kernel runs it.
// The running system's name goes through the host-name script instead.

#include <cctype>

#include "change/change_scope.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"

namespace KESP {

namespace {

const char kOperation[] = "setImageHostName";
const char kHostNameFile[] = "/etc/hostname";
const char kHostsFile[] = "/etc/hosts";
const char kOwnNameAddress[] = "127.0.1.1";

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

/// "host.example.org host" for a qualified name, the name alone otherwise:
/// the line resolves both spellings, as the installer writes it.
std::string namesForHostsLine(const std::string& name) {
  const size_t dot = name.find('.');
  if (dot == std::string::npos || dot == 0) return name;
  return name + " " + name.substr(0, dot);
}

/// Gives the 127.0.1.1 lines the new name; false when there is none.
bool replaceOwnNameLine(std::list<std::string>& lines, const std::string& name) {
  bool replaced = false;
  for (std::string& line : lines) {
    size_t start = 0;
    while (start < line.size() && isBlank(line[start])) ++start;
    const size_t end = line.find_first_of(" \t", start);
    if (end == std::string::npos || line.compare(start, end - start, kOwnNameAddress) != 0)
      continue;
    // A comment at the end of the line stays; the names before it are ours.
    const size_t comment = line.find('#', end);
    std::string rest = comment == std::string::npos ? "" : " " + line.substr(comment);
    line = line.substr(0, end) + "\t" + namesForHostsLine(name) + rest;
    replaced = true;
  }
  return replaced;
}

/// Both files, hostname first; false (logged) at the first that fails.
bool writeImageHostName(const std::string& name) {
  TextFile hostName;
  hostName.filename = sysPath(kHostNameFile);
  hostName.lines = {name};
  if (!hostName.save()) {
    KESP_LOG(LOG_ERROR, kOperation, "cannot write " << hostName.filename);
    return false;
  }
  TextFile hosts;
  if (!hosts.load(sysPath(kHostsFile))) return true;  // an image without a hosts file
  if (!replaceOwnNameLine(hosts.lines, name)) return true;
  if (!hosts.save()) {
    KESP_LOG(LOG_ERROR, kOperation, "cannot write " << hosts.filename);
    return false;
  }
  return true;
}

}  // namespace

bool getImageHostName(std::string& name) {
  name.clear();
  TextFile hostName;
  if (!hostName.load(sysPath(kHostNameFile))) return false;
  // The first line that is neither blank nor a comment, as the boot reads it.
  for (const std::string& line : hostName.lines) {
    size_t start = 0;
    while (start < line.size() && isBlank(line[start])) ++start;
    if (start == line.size() || line[start] == '#') continue;
    size_t end = line.size();
    while (end > start && isBlank(line[end - 1])) --end;
    name = line.substr(start, end - start);
    return true;
  }
  return true;
}

bool setImageHostName(const std::string& name) {
  detail::ChangeScope scope(kOperation);
  if (!scope.isOpen()) return false;
  return scope.finish(writeImageHostName(name));
}

}  // namespace KESP
