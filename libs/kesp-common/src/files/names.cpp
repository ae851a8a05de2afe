#include "files/names.h"

#include "kesp/log.h"
#include "kesp/util.h"

namespace KESP {
namespace detail {

bool isValidInterfaceName(const std::string& name) {
  // A leading "-" would be taken as an option by ifup, ifdown and the scripts.
  if (name.empty() || name.size() > 15 || name == "." || name == ".." || name[0] == '-')
    return false;
  for (unsigned char c : name) {
    bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum && c != '.' && c != '_' && c != '-' && c != ':') return false;
  }
  return true;
}

bool isEthernetName(const std::string& name) {
  return name.compare(0, 3, "eth") == 0 || name.compare(0, 2, "en") == 0;
}

std::string printable(const std::string& text) { return terminalSafe(text); }

bool checkInterfaceName(const std::string& name, const char* operation) {
  if (isValidInterfaceName(name)) return true;
  // The name may hold line breaks: one log line per refusal all the same.
  KESP_LOG(LOG_ERROR, operation, "invalid interface name '" << printable(name) << "'");
  return false;
}

}  // namespace detail

std::string terminalSafe(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (const unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
    }
  }
  return out;
}

}  // namespace KESP
