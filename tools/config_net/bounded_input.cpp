#include "bounded_input.h"

namespace kesp_config_net {

bool readBoundedInput(std::istream& in, std::string& text) {
  text.clear();
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    const size_t got = static_cast<size_t>(in.gcount());
    if (text.size() + got > kMaxInputBytes) {
      text.clear();
      return false;
    }
    text.append(buffer, got);
  }
  return true;
}

bool readBoundedLine(std::istream& in, std::string& line) {
  line.clear();
  for (int c = in.get(); c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
    if (line.size() == kMaxInputBytes) {
      line.clear();
      return false;
    }
    line += static_cast<char>(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace kesp_config_net
