#pragma once
// The shape netplan's own reader demands of the parts of a file this library
// reads and edits: a file where a mapping, a sequence or a scalar stands in
// the wrong place is refused by netplan, and an edit of it would be reported
// and never applied.

#include <string>

#include "files/yaml_tree.h"

namespace KESP {
namespace detail {

/// The first part of document that is not of the type netplan expects, as
/// "line N: network.ethernets.eth0.addresses must be a sequence"; empty when
/// every part this library uses has its type.
std::string netplanTypeProblem(const YamlNode& document);

}  // namespace detail
}  // namespace KESP
