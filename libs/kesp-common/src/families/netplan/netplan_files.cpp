// Reading netplan's files from the system root and writing the appliance's own.

#include "families/netplan/netplan_files.h"

#include <cerrno>

#include "change/change_scope.h"
#include "families/netplan/netplan_settings.h"
#include "files/file_write.h"
#include "files/root_path.h"
#include "files/names.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

bool loadNetplanState(NetplanState& state, const char* operation) {
  if (!loadNetplan(state.files, state.definitions, operation)) return false;
  for (const NetplanFile& file : state.files)
    if (file.path == kNetplanOwnFile) state.own = file.document;
  return true;
}

bool saveNetplanOwn(const YamlNode& own, const char* operation) {
  std::string text;
  std::string error;
  if (!emitYaml(own, text)) {
    KESP_LOG(LOG_ERROR, operation, "can't write " << kNetplanOwnFile);
    return false;
  }
  // A system whose files all lie in /lib/netplan may have no /etc/netplan yet.
  if (!makeDirectoriesForWrite(sysPath("/etc/netplan")) ||
      !replaceFile(sysPath(kNetplanOwnFile), text, &error, 0600)) {
    KESP_LOG(LOG_ERROR, operation, "can't write " << kNetplanOwnFile << ": " << error);
    return false;
  }
  return true;
}

bool getNetplanNameServers(const std::string& iface, std::vector<std::string>& servers) {
  NetplanState state;
  if (!checkInterfaceName(iface, "getDnsServers") || !loadNetplanState(state, "getDnsServers"))
    return false;
  servers.clear();
  if (const NetplanDefinition* definition = netplanWinner(state.definitions, iface))
    servers = netplanNameServersOf(definition->node);
  return true;
}

std::string netplanNameServersSource(const std::string& iface) {
  NetplanState state;
  if (!checkInterfaceName(iface, "getDnsServers") || !loadNetplanState(state, "getDnsServers"))
    return std::string();
  const NetplanDefinition* winner = netplanWinner(state.definitions, iface);
  std::string source;
  for (const NetplanFile& file : state.files) {
    if (!winner) break;
    const YamlNode* node = file.document.find("network");
    for (const std::string& key : {winner->type, winner->id, std::string("nameservers")})
      node = node ? node->find(key) : nullptr;
    if (node && node->find("addresses")) source = file.path;
  }
  return source;
}

bool setNetplanNameServers(const std::string& iface, const std::vector<std::string>& servers) {
  const char* const operation = "setDnsServers";
  ChangeScope scope(operation);
  NetplanState state;
  if (!scope.isOpen() || !checkInterfaceName(iface, operation) ||
      !loadNetplanState(state, operation))
    return scope.finish(false);
  YamlNode& definition = netplanOwnDefinition(state.own, state.definitions, iface);
  YamlNode& nameservers = definition.at("nameservers");
  nameservers.erase("addresses");
  if (!servers.empty()) {
    YamlNode& addresses = nameservers.at("addresses");
    addresses = YamlNode::sequence();
    for (const std::string& server : servers) addresses.items.push_back(YamlNode::scalar(server));
  }
  if (nameservers.entries.empty()) definition.erase("nameservers");
  return scope.finish(saveNetplanOwn(state.own, operation));
}

}  // namespace detail
}  // namespace KESP
