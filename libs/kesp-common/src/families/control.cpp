// Bringing an interface up or down with the distribution's own programs: the
// public calls, and the steps every family shares.

#include <sys/stat.h>
#include <sys/wait.h>

#include "families/family.h"
#include "files/names.h"
#include "files/root_path.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "system/process.h"

namespace KESP {

namespace {

const char* const kIfUp = "/sbin/ifup";
const char* const kIfDown = "/sbin/ifdown";

}  // namespace

namespace detail {

bool runControlStep(const char* program, const std::string& argument) {
  // What the program prints ("RTNETLINK answers: ...", a DHCP client's
  // banner) is its own report, not the operator's: it goes to the log. Its
  // exit status says little (ifdown fails on a route already gone); whether
  // the interface came up is judged by the addresses it gets.
  std::string output;
  const int status = runArgv({sysPath(program), argument}, &output, {}, nullptr, true);
  if (status < 0) {
    KESP_LOG(LOG_ERROR, "controlInterface", "can't run " << program << " command");
    return false;
  }
  const bool succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  const int shown = WIFEXITED(status) ? WEXITSTATUS(status) : status;
  if (!succeeded || !output.empty())
    KESP_LOG(LOG_INFO, "controlInterface",
             program << " " << argument
                     << (succeeded ? "" : " failed (status " + std::to_string(shown) + ")")
                     << (output.empty() ? "" : ": ") << output);
  return true;
}

bool runCheckedStep(const char* program, const std::vector<std::string>& args,
                    const char* operation, const std::string* input) {
  struct stat info;
  if (!statInRoot(sysPath(program), info)) {
    KESP_LOG(LOG_ERROR, operation, "can't run " << program << ": " << program << " is missing");
    return false;
  }
  std::vector<std::string> argv = {sysPath(program)};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string output;
  const int status = runArgv(argv, &output, {}, input, true);
  if (status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    if (!output.empty()) KESP_LOG(LOG_INFO, operation, program << ": " << output);
    return true;
  }
  std::string words;
  for (const std::string& arg : args) words += " " + arg;
  const int shown = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : status;
  KESP_LOG(LOG_ERROR, operation,
           program << words << " failed (status " << shown << ")"
                   << (output.empty() ? "" : ": ") << output);
  return false;
}

bool existsInRoot(const char* path) {
  struct stat info;
  return stat(sysPath(path).c_str(), &info) == 0;
}

bool anyRegularFileInRoot(const std::vector<const char*>& paths) {
  for (const char* path : paths) {
    struct stat info;
    // Inside the root: /sbin is often a link to usr/sbin, absolute in an image.
    if (statInRoot(sysPath(path), info) && S_ISREG(info.st_mode)) return true;
  }
  return false;
}

bool Family::control(const std::string& iface, bool up, AddressMode) const {
  return runControlStep(up ? kIfUp : kIfDown, iface);
}

}  // namespace detail

bool controlInterface(const std::string& iface, bool up, AddressMode mode) {
  if (!detail::checkInterfaceName(iface, "controlInterface")) return false;
  // A system of no known family still gets the ifupdown it most likely has.
  if (const detail::Family* family = detail::detectFamily())
    return family->control(iface, up, mode);
  return detail::runControlStep(up ? kIfUp : kIfDown, iface);
}

bool prepareNetworkForBoot() {
  const detail::Family* family = detail::detectFamily();
  return !family || family->prepareBoot("recover");
}

bool hasDhcpv6Client() {
  const detail::Family* family = detail::detectFamily();
  return family && family->hasDhcpv6Client();
}

bool hasDhcpv4Client() {
  const detail::Family* family = detail::detectFamily();
  return family && family->hasDhcpv4Client();
}

}  // namespace KESP
