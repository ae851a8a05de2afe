#pragma once
// The Debian family's parts that its family class puts together.

#include <string>
#include <vector>

#include "families/debian/debian_tree.h"
#include "kesp/interface_files.h"

namespace KESP {
namespace detail {

/// getNetworks' reading of every entry in one pass over the tree: each iface
/// line hands the lines after it to the reading of the interface it names,
/// if that one is asked for. A name asked for twice is read once.
void readDebianNetworks(const DebianTree& tree, const std::vector<ConfiguredNetwork*>& networks);

/// The names of the tree's iface lines, each once, in reading order.
void listDebianTreeInterfaces(const DebianTree& tree, std::vector<std::string>& names);

/// move() on the interfaces file and what it sources.
bool moveDebian(int op, const std::string& first, const std::string& second);

}  // namespace detail
}  // namespace KESP
