#include "zone_dialogue.h"

#include <libintl.h>

#include <cctype>
#include <istream>
#include <ostream>

namespace kesp_set_timezone {

namespace {

std::string tr(const char* text) { return gettext(text); }

/// tr(text) with "%s" replaced by value.
std::string trf(const char* text, const std::string& value) {
  std::string pattern = tr(text);
  const size_t at = pattern.find("%s");
  return at == std::string::npos ? pattern : pattern.replace(at, 2, value);
}

std::string trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool isNumber(const std::string& text) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string joined(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : directory + "/" + name;
}

std::string parentOf(const std::string& directory) {
  const size_t slash = directory.rfind('/');
  return slash == std::string::npos ? std::string() : directory.substr(0, slash);
}

void showPage(std::ostream& out, const std::string& directory,
              const std::vector<KESP::ZoneEntry>& entries, size_t page) {
  const size_t pages = (entries.size() + kPageSize - 1) / kPageSize;
  out << "\n" << (directory.empty() ? tr("Regions") : trf("Zones in %s", directory));
  if (pages > 1)
    out << " (" << trf("page %s", std::to_string(page + 1) + "/" + std::to_string(pages)) << ")";
  out << ":\n";
  for (size_t i = page * kPageSize; i < entries.size() && i < (page + 1) * kPageSize; ++i)
    out << "  " << (i + 1 < 10 ? " " : "") << (i + 1) << ") " << entries[i].name
        << (entries[i].region ? "/" : "") << "\n";
}

}  // namespace

std::string chooseZone(std::istream& in, std::ostream& out, const std::string& current,
                       const ZoneDatabase& database) {
  out << tr("Time zone of this appliance") << "\n"
      << trf("Current zone: %s", current.empty() ? tr("not set") : current) << "\n";
  std::string directory;
  size_t page = 0;
  std::vector<KESP::ZoneEntry> entries;
  bool readable = database.list(directory, entries);
  for (;;) {
    if (readable)
      showPage(out, directory, entries, page);
    else
      out << "\n" << tr("The zone database cannot be read; type a zone name.") << "\n";
    out << tr("Number or zone name (n/p page, b back, q unchanged): ") << std::flush;
    std::string line;
    if (!std::getline(in, line)) {
      out << "\n";
      return std::string();
    }
    const std::string answer = trimmed(line);
    const size_t pages = (entries.size() + kPageSize - 1) / kPageSize;
    if (answer.empty()) continue;
    if (answer == "q") return std::string();
    if (answer == "n" || answer == "p") {
      if (answer == "n" && page + 1 < pages) ++page;
      if (answer == "p" && page > 0) --page;
      continue;
    }
    if (answer == "b") {
      directory = parentOf(directory);
      page = 0;
      readable = database.list(directory, entries);
      continue;
    }
    if (isNumber(answer)) {
      const size_t number = std::stoul(answer);
      if (number < 1 || number > entries.size()) {
        out << trf("There is no entry %s.", answer) << "\n";
        continue;
      }
      const KESP::ZoneEntry& entry = entries[number - 1];
      if (!entry.region) return joined(directory, entry.name);
      directory = joined(directory, entry.name);
      page = 0;
      readable = database.list(directory, entries);
      continue;
    }
    // A whole name, or a city of the region shown.
    if (database.isZone(answer)) return answer;
    if (!directory.empty() && database.isZone(joined(directory, answer)))
      return joined(directory, answer);
    out << trf("%s is not a time zone.", answer) << "\n";
  }
}

}  // namespace kesp_set_timezone
