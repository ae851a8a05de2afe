// Editing an interface's .network file at the edges: the system root, the
// copy into /etc, the change scope.

#include "families/networkd/networkd_edit.h"

#include "change/change_scope.h"
#include "families/networkd/networkd_files.h"
#include "families/networkd/networkd_settings.h"
#include "files/names.h"
#include "files/file_write.h"
#include "files/root_path.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

bool editNetworkdFile(const std::string& iface, const char* operation,
                      const std::function<void(KeyValueFile&)>& edit) {
  if (!checkInterfaceName(iface, operation)) return false;
  KeyValueFile file('=');
  std::string current;
  const NetworkdMatch match = findNetworkdFile(iface, file, current);
  if (match == NetworkdMatch::Unreadable) return false;
  if (match == NetworkdMatch::None) file = KeyValueFile('=');
  // A file that matches more than iface is copied into one of iface's own,
  // which networkd reads first; the copy matches iface alone.
  if (match != NetworkdMatch::Exact) {
    file.remove("Match", "Name");
    file.set("Match", "Name", iface);
  }
  const std::string target = networkdTargetPath(iface);
  edit(file);
  if (!makeDirectoriesForWrite(sysPath(kNetworkdEtcDirectory)) || !file.save(sysPath(target))) {
    KESP_LOG(LOG_ERROR, operation, "can't write " << target);
    return false;
  }
  return true;
}

bool getNetworkdNameServers(const std::string& iface, std::vector<std::string>& servers) {
  if (!checkInterfaceName(iface, "getDnsServers")) return false;
  KeyValueFile file('=');
  std::string path;
  servers.clear();
  const NetworkdMatch match = findNetworkdFile(iface, file, path);
  if (match != NetworkdMatch::None && match != NetworkdMatch::Unreadable)
    servers = networkdNameServersOf(file);
  return match != NetworkdMatch::Unreadable;
}

bool setNetworkdNameServers(const std::string& iface, const std::vector<std::string>& servers) {
  const char* const operation = "setDnsServers";
  ChangeScope scope(operation);
  if (!scope.isOpen()) return false;
  return scope.finish(editNetworkdFile(
      iface, operation, [&](KeyValueFile& file) { setNetworkdNameServersIn(file, servers); }));
}

}  // namespace detail
}  // namespace KESP
