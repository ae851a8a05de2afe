// resolvconf (Debian's and openresolv): resolv.conf is made from what the
// interfaces register, which the family's files give them (on Debian each
// stanza's dns-nameservers), and from resolvconf's own configuration:
// Debian's base file, or openresolv's name_servers. The servers go on the
// interface that carries the default route, or to that configuration when
// there is none; the other place is cleared so that what resolvconf merges
// is exactly the new list.

#include <cerrno>

#include "families/family.h"
#include "files/file_write.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "settings/name_server_owners.h"
#include "system/process.h"

namespace KESP {
namespace detail {

namespace {

const char kBaseFile[] = "/etc/resolvconf/resolv.conf.d/base";
const char kOpenresolvConfig[] = "/etc/resolvconf.conf";
const char kOpenresolvKey[] = "name_servers";

/// Debian's base file: its nameserver lines replaced, other lines kept. A
/// missing file is made only to hold servers.
bool writeBaseFile(const std::vector<std::string>& servers, const char* operation) {
  const std::string path = sysPath(kBaseFile);
  std::string text;
  bool missing = false;
  if (!readWholeFile(path, text, &missing) && !missing) {
    KESP_LOG(LOG_ERROR, operation, "can't read " << path << errnoSuffix(errno));
    return false;
  }
  if (missing && servers.empty()) return true;
  if (!replaceFile(path, withNameServers(text, servers))) {
    KESP_LOG(LOG_ERROR, operation, "Failed to write file " << path << errnoSuffix(errno));
    return false;
  }
  return true;
}

bool writeOpenresolvConfig(const std::vector<std::string>& servers, const char* operation) {
  KeyValueFile config('=');
  const bool loaded = config.load(sysPath(kOpenresolvConfig));
  if (!loaded && servers.empty()) return true;  // missing, or refused by save below
  std::string list;
  for (const std::string& server : servers) list += (list.empty() ? "" : " ") + server;
  // A shell sources the file; the addresses hold nothing a double quote lets through.
  if (servers.empty())
    config.remove(kOpenresolvKey);
  else
    config.set(kOpenresolvKey, "\"" + list + "\"");
  if (!config.save()) {
    KESP_LOG(LOG_ERROR, operation, "can't write " << sysPath(kOpenresolvConfig));
    return false;
  }
  return true;
}

/// The stanza when an interface carries the default route, else the own
/// configuration; the other one cleared.
bool writeResolvconfPlaces(NameServerOwner owner, const std::vector<std::string>& servers, bool live,
                           const char* operation,
                           bool (*writeOwn)(const std::vector<std::string>&, const char*)) {
  const Family* family = interfaceServerFamily(owner);
  const std::string iface = family ? family->nameServerInterface(live, operation) : std::string();
  const std::vector<std::string> none;
  if (family && !family->writeInterfaceNameServers(iface, iface.empty() ? none : servers, operation))
    return false;
  return writeOwn(iface.empty() ? servers : none, operation);
}

bool readInterfaceServers(NameServerOwner owner, std::vector<std::string>& servers,
                          std::string& source) {
  servers.clear();
  source.clear();
  const Family* family = interfaceServerFamily(owner);
  return !family || family->readInterfaceNameServers(servers, source);
}

void appendFrom(std::vector<std::string>& servers, std::string& source,
                const std::vector<std::string>& more, const std::string& moreSource) {
  if (more.empty()) return;
  if (source.empty()) source = moreSource;
  servers.insert(servers.end(), more.begin(), more.end());
}

}  // namespace

bool writeResolvconfServers(const std::vector<std::string>& servers, bool live, const char* operation) {
  return writeResolvconfPlaces(NameServerOwner::Resolvconf, servers, live, operation, writeBaseFile);
}

bool writeOpenresolvServers(const std::vector<std::string>& servers, bool live, const char* operation) {
  return writeResolvconfPlaces(NameServerOwner::Openresolv, servers, live, operation,
                               writeOpenresolvConfig);
}

bool readResolvconfServers(std::vector<std::string>& servers, std::string& source) {
  if (!readInterfaceServers(NameServerOwner::Resolvconf, servers, source)) return false;
  std::string text;
  bool missing = false;
  if (!readWholeFile(sysPath(kBaseFile), text, &missing)) return missing;
  appendFrom(servers, source, nameServersOf(text), kBaseFile);
  return true;
}

bool readOpenresolvServers(std::vector<std::string>& servers, std::string& source) {
  servers.clear();
  source.clear();
  KeyValueFile config('=');
  std::string value;
  if (config.load(sysPath(kOpenresolvConfig)) && getUnquotedValue(config, kOpenresolvKey, value)) {
    servers = splitBlanks(value);
    if (!servers.empty()) source = kOpenresolvConfig;
  }
  // openresolv puts its own list before what the interfaces register.
  std::vector<std::string> stanzas;
  std::string stanzaSource;
  if (!readInterfaceServers(NameServerOwner::Openresolv, stanzas, stanzaSource)) return false;
  appendFrom(servers, source, stanzas, stanzaSource);
  return true;
}

}  // namespace detail
}  // namespace KESP
