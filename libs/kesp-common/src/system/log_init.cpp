// Logging set-up from the framework's configuration file, then the environment.

#include <cstdio>

#include "kesp/config.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"

namespace KESP {

void kesp_log_init() {
  const std::string path = sysPath("/opt/tolvex/etc/kesp/kesp.xml");
  Config config;
  if (config.addFile(path, true)) {
    std::string level;
    std::string file;
    config.get("log_level", level);
    config.get("log_file", file);
    kesp_log_set_file(file);
    kesp_log_parse_level(level);
  } else {
    std::fprintf(stderr, "Failed to load KESP configuration file - %s\n", path.c_str());
  }
  // The environment has the last word over the file.
  kesp_log_init_from_env();
}

}  // namespace KESP
