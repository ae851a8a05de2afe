// systemd-resolved's global name servers: the "DNS=" lines of its [Resolve]
// section, read from resolved.conf and then from its drop-ins in name order;
// an empty "DNS=" empties the list that earlier lines built. Where the
// family's daemon hands resolved servers per link (netplan, networkd,
// NetworkManager), they go on the link of the default route, as the system's
// own tools keep them, and the global list is emptied.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "families/family.h"
#include "files/file_write.h"
#include "files/root_path.h"
#include "files/text_lines.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "settings/name_server_owners.h"
#include "system/process.h"
#include "files/names.h"

namespace KESP {
namespace detail {

namespace {

// In the order in which a file of the same name hides the others.
const char* const kConfigDirectories[] = {"/etc/systemd", "/run/systemd", "/usr/local/lib/systemd",
                                          "/usr/lib/systemd"};
const char kMainFile[] = "resolved.conf";
const char kDropInDirectory[] = "resolved.conf.d";
const char kOwnDropIn[] = "/etc/systemd/resolved.conf.d/90-kesp.conf";

std::string trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return std::string();
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

/// Applies one file's DNS= lines of [Resolve] to servers.
void mergeDnsLines(const std::string& text, const std::string& path,
                   std::vector<std::string>& servers, std::string& source) {
  std::string section;
  for (const std::string& raw : splitLines(text)) {
    const std::string line = trimmed(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line;
      continue;
    }
    const size_t equals = line.find('=');
    if (section != "[Resolve]" || equals == std::string::npos || trimmed(line.substr(0, equals)) != "DNS")
      continue;
    const std::vector<std::string> words = splitBlanks(line.substr(equals + 1));
    if (words.empty()) servers.clear();
    servers.insert(servers.end(), words.begin(), words.end());
    source = servers.empty() ? std::string() : path;
  }
}

/// Reads one file into the merge; a missing file adds nothing.
bool mergeFile(const std::string& path, std::vector<std::string>& servers, std::string& source) {
  std::string text;
  bool missing = false;
  if (!readWholeFile(sysPath(path), text, &missing)) return missing;
  mergeDnsLines(text, path, servers, source);
  return true;
}

bool readGlobalServers(std::vector<std::string>& servers, std::string& source) {
  servers.clear();
  source.clear();
  for (const char* directory : kConfigDirectories) {
    const std::string path = std::string(directory) + "/" + kMainFile;
    struct stat info;
    if (!statInRoot(sysPath(path), info)) continue;
    if (!mergeFile(path, servers, source)) return false;
    break;
  }
  std::map<std::string, std::string> dropIns;  // name → the path that wins
  for (const char* directory : kConfigDirectories) {
    const std::string folder = std::string(directory) + "/" + kDropInDirectory;
    std::vector<std::string> names;
    if (!listDirectoryInRoot(sysPath(folder), names)) continue;
    for (const std::string& name : names)
      if (endsWith(name, ".conf") && name[0] != '.') dropIns.emplace(name, folder + "/" + name);
  }
  for (const auto& dropIn : dropIns)
    if (!mergeFile(dropIn.second, servers, source)) return false;
  return true;
}

bool writeOwnDropIn(const std::vector<std::string>& servers, const char* operation) {
  std::string list;
  for (const std::string& server : servers) list += (list.empty() ? "" : " ") + server;
  // The empty DNS= drops what resolved.conf and earlier drop-ins name.
  const std::string content =
      "# The appliance's name servers, written by kesp_config_net.\n[Resolve]\nDNS=\n" +
      (servers.empty() ? std::string() : "DNS=" + list + "\n");
  const std::string path = sysPath(kOwnDropIn);
  const std::string directory = path.substr(0, path.rfind('/'));
  if (!makeDirectoriesForWrite(directory) || !replaceFile(path, content)) {
    KESP_LOG(LOG_ERROR, operation, "Failed to write file " << path << errnoSuffix(errno));
    return false;
  }
  return true;
}

}  // namespace

/// The global list, then the links' own.
bool readResolvedServers(std::vector<std::string>& servers, std::string& source) {
  if (!readGlobalServers(servers, source)) return false;
  const Family* family = interfaceServerFamily(NameServerOwner::Resolved);
  std::vector<std::string> linked;
  std::string linkSource;
  if (family && !family->readInterfaceNameServers(linked, linkSource)) return false;
  if (!linked.empty() && source.empty()) source = linkSource;
  servers.insert(servers.end(), linked.begin(), linked.end());
  return true;
}

bool writeResolvedServers(const std::vector<std::string>& servers, bool live, const char* operation) {
  const Family* family = interfaceServerFamily(NameServerOwner::Resolved);
  const std::string iface = family ? family->nameServerInterface(live, operation) : std::string();
  const std::vector<std::string> none;
  if (family && !family->writeInterfaceNameServers(iface, iface.empty() ? none : servers, operation))
    return false;
  return writeOwnDropIn(iface.empty() ? servers : none, operation);
}

}  // namespace detail
}  // namespace KESP
