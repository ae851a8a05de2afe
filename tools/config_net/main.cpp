// kesp_config_net: the appliance's network configuration tool, a dialogue at
// the console and commands for scripts. Everything is in tool.cpp and below.

#include <iostream>
#include <string>
#include <vector>

#include "tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  return kesp_config_net::runTool(words, std::cin, std::cout, std::cerr);
}
