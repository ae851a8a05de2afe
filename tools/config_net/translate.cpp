#include "translate.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>

namespace kesp_config_net {

namespace {

const char kDomain[] = "kesp_config_net";
const char kCatalogueDirectory[] = "/opt/tolvex/lib/locale";

/// True when gettext would answer every text with itself whatever the locale
/// files say: the messages locale the environment names is C or POSIX (then
/// LANGUAGE is ignored too), or English, the texts' own language, with no
/// LANGUAGE list. Loading a locale then only costs start-up time (it reads
/// the locale archive and alias file), which every command a script runs pays.
bool messagesStayUntranslated() {
  const char* chosen = "";
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      chosen = value;
      break;
    }
  }
  const std::string locale = chosen;
  if (locale.empty() || locale == "C" || locale == "POSIX" || locale.compare(0, 2, "C.") == 0)
    return true;
  const char* languages = std::getenv("LANGUAGE");
  const bool english = locale == "en" || locale.compare(0, 3, "en_") == 0 ||
                       locale.compare(0, 3, "en.") == 0 || locale.compare(0, 3, "en@") == 0;
  return english && !(languages && *languages);
}

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
  // "C" rather than nothing: an earlier call in the same process may have
  // chosen another language.
  std::setlocale(LC_MESSAGES, messagesStayUntranslated() ? "C" : "");
  bindtextdomain(kDomain, directory.empty() ? kCatalogueDirectory : directory.c_str());
  // The texts are UTF-8 whatever the terminal's character set is said to be.
  bind_textdomain_codeset(kDomain, "UTF-8");
}

}  // namespace kesp_config_net
