#pragma once
// The network state document of `export` and `apply`: one JSON object with
// "interfaces" (by name: "mode", "ipv4" and "ipv6" each with "address",
// "prefix" and "gateway"), "dns" (a list), "hostname" and "proxy" ("host",
// "port", "user", "password_file"). Keys left out are not managed. Reading
// and writing it is pure: the text in, the desired state out, every fault
// named by its key's path ("interfaces.eth0.ipv4.address: ...").

#include <string>
#include <vector>

#include "interface_change.h"
#include "json_reader.h"
#include "kesp/state_change.h"

namespace kesp_config_net {

struct StateDocument {
  KESP::DesiredState state;
  /// "proxy.password_file": where the proxy password is to be read from.
  std::string passwordFile;
};

/// Reads a parsed document; every problem found, each "path: what is wrong";
/// empty when the document may be applied.
std::vector<std::string> readStateDocument(const JsonValue& document, StateDocument& read);

/// What the system cannot do of an accepted state, each "path: why".
std::vector<std::string> findStateSystemProblems(const KESP::DesiredState& state,
                                                 const SystemTraits& traits);

/// The state as a document (no password ever), as `export` prints it.
std::string renderStateDocument(const KESP::DesiredState& state);

}  // namespace kesp_config_net
