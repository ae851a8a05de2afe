#pragma once
// The verdicts of the diagnosis for people (translated) and for programs
// (JSON, in English).

#include <string>
#include <vector>

#include "kesp/diagnosis.h"

namespace kesp_config_net {

/// "eth0: cable not connected" and, when something is to be done, an
/// indented "what to do: ..." line under it; translated.
std::string renderVerdictText(const KESP::Verdict& verdict);

/// {"interfaces": [{"name", "layer", "ok", "message", "fix", "details": {...}}]}
std::string renderVerdictsJson(const std::vector<KESP::Verdict>& verdicts);

}  // namespace kesp_config_net
