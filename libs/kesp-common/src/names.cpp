#include "names.h"

#include "kesp/log.h"

namespace KESP {
namespace detail {

bool isValidInterfaceName(const std::string& name) {
  if (name.empty() || name.size() > 15 || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum && c != '.' && c != '_' && c != '-' && c != ':') return false;
  }
  return true;
}

bool checkInterfaceName(const std::string& name, const char* operation) {
  if (isValidInterfaceName(name)) return true;
  KESP_LOG(LOG_ERROR, operation, "invalid interface name '" << name << "'");
  return false;
}

}  // namespace detail
}  // namespace KESP
