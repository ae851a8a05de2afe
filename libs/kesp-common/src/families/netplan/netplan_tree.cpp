// Finding, reading and merging netplan's files.

#include "families/netplan/netplan_tree.h"

#include <fnmatch.h>

#include <algorithm>
#include <map>
#include <unordered_map>

#include "families/netplan/netplan_types.h"
#include "files/file_write.h"
#include "files/root_path.h"
#include "kesp/log.h"
#include "kesp/util.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

const char* const kNetplanOwnFile = "/etc/netplan/90-kesp.yaml";

namespace {

const char* const kDirectories[] = {"/lib/netplan", "/etc/netplan", "/run/netplan"};
const char* const kDeviceTypes[] = {"ethernets", "bonds",  "bridges", "vlans",
                                    "wifis",     "tunnels", "vrfs",   "modems"};

void mergeInto(YamlNode& target, const YamlNode& source) {
  if (target.isMapping() && source.isMapping()) {
    for (const auto& entry : source.entries) {
      if (YamlNode* existing = target.find(entry.first))
        mergeInto(*existing, entry.second);
      else
        target.entries.push_back(entry);
    }
  } else if (target.isSequence() && source.isSequence()) {
    target.items.insert(target.items.end(), source.items.begin(), source.items.end());
  } else {
    target = source;
  }
}

bool hasGlob(const std::string& text) { return text.find_first_of("*?[") != std::string::npos; }

}  // namespace

std::string netplanOwnId(const std::string& iface) { return "0kesp-" + iface; }

void mergeNetplanDocument(const NetplanFile& file, std::vector<NetplanDefinition>& definitions) {
  const YamlNode* network = file.document.find("network");
  if (!network) return;
  // By id, so that merging many definitions stays linear.
  std::unordered_map<std::string, std::size_t> byId;
  for (std::size_t i = 0; i < definitions.size(); ++i) byId.emplace(definitions[i].id, i);
  for (const char* type : kDeviceTypes) {
    const YamlNode* devices = network->find(type);
    if (!devices) continue;
    for (const auto& entry : devices->entries) {
      const auto same = byId.find(entry.first);
      if (same == byId.end()) {
        byId.emplace(entry.first, definitions.size());
        definitions.push_back(NetplanDefinition{type, entry.first, entry.second, file.path});
      } else {
        NetplanDefinition& earlier = definitions[same->second];
        mergeInto(earlier.node, entry.second);
        earlier.lastPath = file.path;
      }
    }
  }
}

bool claimsInterface(const NetplanDefinition& definition, const std::string& iface) {
  const YamlNode* setName = definition.node.find("set-name");
  if (setName && setName->isScalar()) return setName->value == iface;
  const YamlNode* match = definition.node.find("match");
  if (!match) return definition.id == iface;
  const YamlNode* name = match->find("name");
  return name && name->isScalar() && fnmatch(name->value.c_str(), iface.c_str(), 0) == 0;
}

const NetplanDefinition* netplanWinner(const std::vector<NetplanDefinition>& definitions,
                                       const std::string& iface, const std::string& skipId) {
  const NetplanDefinition* winner = nullptr;
  for (const NetplanDefinition& definition : definitions) {
    if (definition.id == skipId || !claimsInterface(definition, iface)) continue;
    // networkd reads the rendered "10-netplan-<id>.network" files in name order.
    if (!winner || definition.id + ".network" < winner->id + ".network") winner = &definition;
  }
  return winner;
}

std::vector<std::string> netplanInterfaceNames(const std::vector<NetplanDefinition>& definitions) {
  std::vector<std::string> names;
  for (const NetplanDefinition& definition : definitions) {
    std::string name;
    const YamlNode* setName = definition.node.find("set-name");
    const YamlNode* match = definition.node.find("match");
    const YamlNode* matchName = match ? match->find("name") : nullptr;
    if (setName && setName->isScalar())
      name = setName->value;
    else if (!match)
      name = definition.id;
    else if (matchName && matchName->isScalar() && !hasGlob(matchName->value))
      name = matchName->value;
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
      names.push_back(name);
  }
  return names;
}

std::vector<std::string> netplanFilePaths() {
  std::map<std::string, std::string> byName;
  for (const char* directory : kDirectories) {
    std::vector<std::string> names;
    if (!listDirectoryInRoot(sysPath(directory), names)) continue;
    for (const std::string& name : names) {
      if (name.size() > 5 && name.compare(name.size() - 5, 5, ".yaml") == 0)
        byName[name] = std::string(directory) + "/" + name;
    }
  }
  std::vector<std::string> paths;
  for (const auto& entry : byName) paths.push_back(entry.second);
  return paths;
}

bool loadNetplan(std::vector<NetplanFile>& files, std::vector<NetplanDefinition>& definitions,
                 const char* operation) {
  for (const std::string& path : netplanFilePaths()) {
    NetplanFile file{path, YamlNode()};
    std::string text;
    std::string error;
    if (!readWholeFile(sysPath(path), text)) {
      KESP_LOG(LOG_ERROR, operation, "can't read " << terminalSafe(sysPath(path)));
      return false;
    }
    if (!parseYaml(text, file.document, error) || !file.document.isMapping()) {
      if (error.empty()) error = "the document is not a mapping";
      noteRefused(sysPath(path), error);
      return false;
    }
    // Edited, such a file would still be refused by netplan itself.
    const std::string problem = netplanTypeProblem(file.document);
    if (!problem.empty()) {
      noteRefused(sysPath(path), "netplan would refuse it: " + problem);
      return false;
    }
    mergeNetplanDocument(file, definitions);
    files.push_back(std::move(file));
  }
  return true;
}

bool isNetplanTrue(const YamlNode* node) {
  if (!node || !node->isScalar()) return false;
  std::string text = node->value;
  std::transform(text.begin(), text.end(), text.begin(), ::tolower);
  return text == "true" || text == "yes" || text == "on" || text == "y";
}

}  // namespace detail
}  // namespace KESP
