#pragma once
// What the tool takes from standard input or a file named on its command
// line: bounded as it arrives, so that an endless input (/dev/zero, a pipe
// that never closes its line) is refused before it is held.

#include <cstddef>
#include <istream>
#include <string>

namespace kesp_config_net {

/// Larger than any state a system holds; a bigger input is no document of ours.
constexpr size_t kMaxInputBytes = size_t{4} << 20;
/// The bound as messages name it.
inline const char* const kMaxInputText = "4 MiB";

/// Reads in to its end into text; false (text cleared) as soon as more than
/// kMaxInputBytes have come.
bool readBoundedInput(std::istream& in, std::string& text);

/// The first line of in, without its "\n" or "\r\n"; false (line cleared)
/// when more than kMaxInputBytes come before its end.
bool readBoundedLine(std::istream& in, std::string& line);

}  // namespace kesp_config_net
