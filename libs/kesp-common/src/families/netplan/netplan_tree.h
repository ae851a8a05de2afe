#pragma once
// netplan's files as netplan itself sees them: every YAML file of its three
// directories in its order, the definitions of the same id merged, and the
// definition that networkd ends up applying to an interface.

#include <string>
#include <vector>

#include "files/yaml_tree.h"

namespace KESP {
namespace detail {

/// The appliance's own file: read after the installer's and cloud-init's
/// files, which are never rewritten.
extern const char* const kNetplanOwnFile;

/// One file's document; path without the system root.
struct NetplanFile {
  std::string path;
  YamlNode document;
};

/// A device definition after every file has been merged in.
struct NetplanDefinition {
  std::string type;  ///< "ethernets", "bonds", …
  std::string id;
  YamlNode node;
  std::string lastPath;  ///< the last file that added to it
};

/// The id of the appliance's definition of iface. It sorts before the ids an
/// installer or cloud-init writes (interface names, "all-en", "id0"), so that
/// its rendered .network file is the one networkd applies to the interface.
std::string netplanOwnId(const std::string& iface);

/// Merges one document's definitions into definitions as netplan does: a
/// later mapping's keys override scalars, merge mappings and append to
/// sequences of the same id.
void mergeNetplanDocument(const NetplanFile& file, std::vector<NetplanDefinition>& definitions);

/// Whether networkd would match the definition's rendered file to iface: its
/// set-name, else its match name (a glob), else (no match) its id.
bool claimsInterface(const NetplanDefinition& definition, const std::string& iface);

/// Of the definitions claiming iface, the one whose rendered file networkd
/// reads first; skipId (when given) is left out. Null when none claims it.
const NetplanDefinition* netplanWinner(const std::vector<NetplanDefinition>& definitions,
                                       const std::string& iface,
                                       const std::string& skipId = std::string());

/// The interface names the definitions name (ids, set-names, match names
/// without globs), each once, in definition order.
std::vector<std::string> netplanInterfaceNames(const std::vector<NetplanDefinition>& definitions);

/// The YAML files netplan reads, in its order, without the system root: by
/// name across /lib/netplan, /etc/netplan and /run/netplan, a name in a later
/// directory hiding the same name in an earlier one.
std::vector<std::string> netplanFilePaths();

/// Loads and merges every file. False (logged at ERROR under operation,
/// naming the file) when one cannot be read or is not a YAML mapping.
bool loadNetplan(std::vector<NetplanFile>& files, std::vector<NetplanDefinition>& definitions,
                 const char* operation);

/// YAML's booleans as netplan reads them ("true", "yes", "on", "y").
bool isNetplanTrue(const YamlNode* node);

}  // namespace detail
}  // namespace KESP
