#include "families/ifcfg/ifcfg_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "files/names.h"
#include "files/root_path.h"

namespace KESP {
namespace detail {

namespace {

// Copies and editor leftovers of ifcfg files that configure nothing.
const char* const kBackupSuffixes[] = {"~",       ".bak",     ".old",    ".orig",
                                       ".rpmnew", ".rpmsave", ".rpmorig"};

bool isBackupName(const std::string& name) {
  for (const char* suffix : kBackupSuffixes) {
    const std::string ending = suffix;
    if (name.size() > ending.size() &&
        name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
      return true;
  }
  return false;
}

std::string redHatPath(const std::string& name) { return REDHAT_SCRIPTS_DIR + "/ifcfg-" + name; }

/// The DEVICE of a Red Hat file; empty when it has none or cannot be read.
/// `exists` tells a file without DEVICE from a missing one.
std::string deviceOf(const std::string& name, bool* exists = nullptr) {
  KeyValueFile file('=');
  std::string device;
  const bool loaded = file.load(sysPath(redHatPath(name)));
  if (loaded) getUnquotedValue(file, "DEVICE", device);
  if (exists) *exists = loaded || file.unreadable();
  return device;
}

}  // namespace

bool listIfcfgFileNames(const std::string& directory, std::vector<std::string>& names,
                        const char* operation) {
  const int fd = openInRoot(sysPath(directory), O_RDONLY | O_DIRECTORY);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(fd < 0 ? nullptr : fdopendir(fd), closedir);
  if (fd >= 0 && !dir) ::close(fd);
  if (!dir) {
    KESP_LOG(LOG_ERROR, operation, "cannot read directory " << directory);
    return false;
  }
  const std::string prefix = "ifcfg-";
  while (const dirent* entry = readdir(dir.get())) {
    const std::string fileName = entry->d_name;
    if (fileName.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string name = fileName.substr(prefix.size());
    if (isValidInterfaceName(name) && !isBackupName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return true;
}

std::string redHatFileOf(const std::string& iface, std::string* configuresOther) {
  if (configuresOther) configuresOther->clear();
  bool exists = false;
  const std::string ownDevice = deviceOf(iface, &exists);
  // The usual case costs one file: named after the interface, and no DEVICE
  // line that says otherwise.
  if (exists && (ownDevice.empty() || ownDevice == iface)) return redHatPath(iface);
  std::vector<std::string> names;
  listIfcfgFileNames(REDHAT_SCRIPTS_DIR, names, "interfaceConfigPath");
  for (const std::string& name : names) {
    if (name != iface && deviceOf(name) == iface) return redHatPath(name);
  }
  if (configuresOther && ownDevice != iface) *configuresOther = ownDevice;
  return redHatPath(iface);
}

bool listRedHatInterfaces(std::vector<std::string>& names) {
  std::vector<std::string> files;
  if (!listIfcfgFileNames(REDHAT_SCRIPTS_DIR, files, "listConfiguredInterfaces")) return false;
  for (const std::string& file : files) {
    const std::string device = deviceOf(file);
    names.push_back(isValidInterfaceName(device) ? device : file);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return true;
}

}  // namespace detail
}  // namespace KESP
