// SUSE's netconfig makes resolv.conf from the static servers of its
// configuration together with what DHCP brings (as its DNS policy says).

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

const char kConfigFile[] = "/etc/sysconfig/network/config";
const char kStaticServers[] = "NETCONFIG_DNS_STATIC_SERVERS";

}  // namespace

bool writeNetconfigServers(const std::vector<std::string>& servers, bool, const char* operation) {
  KeyValueFile config('=');
  config.load(sysPath(kConfigFile));  // a missing file is made; an unreadable one refused by save
  std::string list;
  for (const std::string& server : servers) list += (list.empty() ? "" : " ") + server;
  // A shell sources the file; the addresses hold nothing a double quote lets through.
  config.set(kStaticServers, "\"" + list + "\"");
  if (!config.save()) {
    KESP_LOG(LOG_ERROR, operation, "can't write " << sysPath(kConfigFile));
    return false;
  }
  return true;
}

bool readNetconfigServers(std::vector<std::string>& servers, std::string& source) {
  servers.clear();
  source.clear();
  KeyValueFile config('=');
  std::string value;
  if (!config.load(sysPath(kConfigFile))) return true;
  if (getUnquotedValue(config, kStaticServers, value)) servers = splitBlanks(value);
  if (!servers.empty()) source = kConfigFile;
  return true;
}

}  // namespace detail
}  // namespace KESP
