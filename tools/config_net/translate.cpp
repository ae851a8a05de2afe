#include "translate.h"

#include <libintl.h>

#include <clocale>

namespace kesp_config_net {

namespace {

const char kDomain[] = "kesp_config_net";
const char kCatalogueDirectory[] = "/opt/tolvex/lib/locale";

}  // namespace

std::string tr(const char* text) { return dgettext(kDomain, text); }

std::string trf(const char* text, std::initializer_list<std::string> values) {
  const std::string pattern = tr(text);
  std::string result;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const size_t close = pattern[i] == '{' ? pattern.find('}', i) : std::string::npos;
    if (close != std::string::npos && close > i + 1 && close - i <= 3) {
      const std::string digits = pattern.substr(i + 1, close - i - 1);
      if (digits.find_first_not_of("0123456789") == std::string::npos) {
        const size_t index = std::stoul(digits);
        if (index >= 1 && index <= values.size()) {
          result += *(values.begin() + (index - 1));
          i = close;
          continue;
        }
      }
    }
    result += pattern[i];
  }
  return result;
}

void setUpCatalogue(const std::string& directory) {
  // Messages only: LC_CTYPE and the rest stay "C" so that isspace, isalnum and
  // the sort order mean what the checks and the files expect.
  std::setlocale(LC_MESSAGES, "");
  bindtextdomain(kDomain, directory.empty() ? kCatalogueDirectory : directory.c_str());
  // The texts are UTF-8 whatever the terminal's character set is said to be.
  bind_textdomain_codeset(kDomain, "UTF-8");
}

}  // namespace kesp_config_net
