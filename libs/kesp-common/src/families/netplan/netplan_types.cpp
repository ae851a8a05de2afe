// The types netplan demands (see netplan_types.h), as a table per key.

#include "families/netplan/netplan_types.h"

#include "kesp/util.h"

namespace KESP {
namespace detail {

namespace {

enum class Shape { Scalar, Sequence, Mapping, Addresses, Routes, NameServers, Match };

/// The keys of a device definition this library reads or writes.
const struct {
  const char* key;
  Shape shape;
} kDefinitionKeys[] = {
    {"dhcp4", Shape::Scalar},        {"dhcp6", Shape::Scalar},
    {"accept-ra", Shape::Scalar},    {"gateway4", Shape::Scalar},
    {"gateway6", Shape::Scalar},     {"set-name", Shape::Scalar},
    {"addresses", Shape::Addresses}, {"routes", Shape::Routes},
    {"nameservers", Shape::NameServers}, {"match", Shape::Match},
};

const char* const kDeviceTypes[] = {"ethernets", "bonds", "bridges", "vlans",
                                    "wifis",     "tunnels", "vrfs",  "modems"};

std::string join(const std::string& path, const std::string& key) {
  return path + "." + terminalSafe(key);
}

std::string wrong(const YamlNode& node, const std::string& path, const char* what) {
  return "line " + std::to_string(node.line) + ": " + path + " must be " + what;
}

std::string check(const YamlNode& node, Shape shape, const std::string& path);

/// The listed keys of a mapping, each of its shape.
template <typename Keys>
std::string checkKeys(const YamlNode& mapping, const Keys& keys, const std::string& path) {
  for (const auto& rule : keys)
    if (const YamlNode* value = mapping.find(rule.key)) {
      const std::string problem = check(*value, rule.shape, join(path, rule.key));
      if (!problem.empty()) return problem;
    }
  return std::string();
}

std::string checkItems(const YamlNode& sequence, Shape item, const std::string& path) {
  for (size_t i = 0; i < sequence.items.size(); ++i) {
    const std::string problem =
        check(sequence.items[i], item, path + "[" + std::to_string(i) + "]");
    if (!problem.empty()) return problem;
  }
  return std::string();
}

std::string check(const YamlNode& node, Shape shape, const std::string& path) {
  static const struct {
    const char* key;
    Shape shape;
  } kRouteKeys[] = {{"to", Shape::Scalar}, {"via", Shape::Scalar}, {"metric", Shape::Scalar}},
    kNameServerKeys[] = {{"addresses", Shape::Sequence}, {"search", Shape::Sequence}},
    kMatchKeys[] = {{"name", Shape::Scalar}, {"macaddress", Shape::Scalar}};
  switch (shape) {
    case Shape::Scalar:
      return node.isScalar() ? std::string() : wrong(node, path, "a scalar");
    case Shape::Sequence:
      if (!node.isSequence()) return wrong(node, path, "a sequence");
      return checkItems(node, Shape::Scalar, path);
    case Shape::Mapping:
      return node.isMapping() ? std::string() : wrong(node, path, "a mapping");
    case Shape::Addresses:
      // An address is a scalar, or one with its options ("- 192.0.2.1/24: {label: …}").
      if (!node.isSequence()) return wrong(node, path, "a sequence");
      for (size_t i = 0; i < node.items.size(); ++i)
        if (node.items[i].isSequence() ||
            (node.items[i].isMapping() && node.items[i].entries.size() != 1))
          return wrong(node.items[i], path + "[" + std::to_string(i) + "]", "an address");
      return std::string();
    case Shape::Routes:
      if (!node.isSequence()) return wrong(node, path, "a sequence");
      for (size_t i = 0; i < node.items.size(); ++i) {
        const std::string item = path + "[" + std::to_string(i) + "]";
        if (!node.items[i].isMapping()) return wrong(node.items[i], item, "a mapping");
        const std::string problem = checkKeys(node.items[i], kRouteKeys, item);
        if (!problem.empty()) return problem;
      }
      return std::string();
    case Shape::NameServers:
      if (!node.isMapping()) return wrong(node, path, "a mapping");
      return checkKeys(node, kNameServerKeys, path);
    case Shape::Match:
      if (!node.isMapping()) return wrong(node, path, "a mapping");
      return checkKeys(node, kMatchKeys, path);
  }
  return std::string();
}

}  // namespace

std::string netplanTypeProblem(const YamlNode& document) {
  const YamlNode* network = document.find("network");
  if (!network) return std::string();
  if (!network->isMapping()) return wrong(*network, "network", "a mapping");
  if (const YamlNode* version = network->find("version"))
    if (!version->isScalar()) return wrong(*version, "network.version", "a scalar");
  for (const char* type : kDeviceTypes) {
    const YamlNode* devices = network->find(type);
    if (!devices) continue;
    const std::string path = join("network", type);
    if (!devices->isMapping()) return wrong(*devices, path, "a mapping");
    for (const auto& entry : devices->entries) {
      const std::string definition = join(path, entry.first);
      if (!entry.second.isMapping()) return wrong(entry.second, definition, "a mapping");
      const std::string problem = checkKeys(entry.second, kDefinitionKeys, definition);
      if (!problem.empty()) return problem;
    }
  }
  return std::string();
}

}  // namespace detail
}  // namespace KESP
