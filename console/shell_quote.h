#pragma once

#include <string>

namespace kesp_console {

/// The text as one shell word: single-quoted, embedded quotes escaped, so that
/// a system root with blanks or quotes in it still names one program.
std::string quotedForShell(const std::string& text);

}  // namespace kesp_console
