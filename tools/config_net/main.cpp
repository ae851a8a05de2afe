// kesp_config_net: the appliance's network configuration tool, a dialogue at
// the console and commands for scripts. Everything is in tool.cpp and below.

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tool.h"
#include "translate.h"

int main(int argc, char** argv) {
  // TEXTDOMAINDIR, as gettext's shell tools know it, points at catalogues
  // that are not installed yet (a build tree).
  const char* catalogues = std::getenv("TEXTDOMAINDIR");
  kesp_config_net::setUpCatalogue(catalogues ? catalogues : "");
  const std::vector<std::string> words(argv + 1, argv + argc);
  return kesp_config_net::runTool(words, std::cin, std::cout, std::cerr);
}
