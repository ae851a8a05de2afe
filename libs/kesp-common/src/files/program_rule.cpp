#include "files/program_rule.h"

#include <cerrno>

#include "files/draft.h"
#include "files/names.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

bool programMayRun(const char* operation, const std::string& program) {
  const char* why = nullptr;
  // An image's programs are built for another system, and may be anyone's:
  // run here as root they would reconfigure this machine or take it over.
  if (offlineImage()) why = "the system is an offline image, whose files only are changed";
  // A draft learns what a change would do; a program would do it.
  else if (openDraft()) why = "a change is only being planned";
  if (!why) return true;
  KESP_LOG(LOG_ERROR, operation, "refused to run " << printable(program) << ": " << why);
  errno = EPERM;
  return false;
}

}  // namespace detail
}  // namespace KESP
