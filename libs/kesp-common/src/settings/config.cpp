// The layered store: lookups from the newest file down, changes into the newest.

#include <tinyxml.h>

#include "files/file_write.h"
#include "kesp/config.h"
#include "kesp/log.h"

namespace KESP {

namespace {

bool isAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

/// The element names the XML parser reads back: a letter, "_" or a non-ASCII
/// byte first, then also digits, "-", "." and ":". Anything else would give a
/// file that cannot be loaded again.
bool isXmlName(const std::string& name) {
  if (name.empty()) return false;
  for (std::string::size_type i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool allowed = isAsciiLetter(c) || c == '_' || c >= 0x80;
    if (i > 0) allowed = allowed || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
    if (!allowed) return false;
  }
  return true;
}

}  // namespace

Config::~Config() {
  while (!files_.empty()) files_.pop_back();
}

bool Config::addFile(const std::string& path, bool mustLoad) {
  std::unique_ptr<configfile> file(new configfile(path));
  bool loaded = file->load();
  if (mustLoad && !loaded) return false;
  files_.push_back(std::move(file));
  return loaded;
}

bool Config::addNewFile(const std::string& path, const std::string& rootElementName) {
  if (!isXmlName(rootElementName)) {
    KESP_LOG(LOG_ERROR, "addNewFile",
             "failed to create new file " << path << " (invalid root element name '"
                                          << rootElementName << "')");
    return false;
  }
  TiXmlDocument document;
  TiXmlElement root(rootElementName);
  root.InsertEndChild(TiXmlElement("properties"));
  document.InsertEndChild(root);
  TiXmlPrinter printer;
  document.Accept(&printer);
  std::string failure;
  if (!detail::replaceFile(path, printer.Str(), &failure)) {
    KESP_LOG(LOG_ERROR, "addNewFile",
             "failed to create new file " << path << " (" << failure << ")");
    return false;
  }
  return addFile(path, true);
}

bool Config::get(const std::string& name, std::string& value) {
  for (auto file = files_.rbegin(); file != files_.rend(); ++file) {
    if (autoReload_ && (*file)->isModified()) {
      KESP_LOG(LOG_INFO, "get", "Reloading new configuration. file=" << (*file)->getPath());
      if (!(*file)->load()) {
        KESP_LOG(LOG_ERROR, "get", "Unable to reload configuration file: " << (*file)->getPath());
      }
    }
    if ((*file)->get(name, value)) return true;
  }
  value.clear();
  return false;
}

bool Config::get(const std::string& name, std::string& value, std::string& defaultValue) {
  if (!get(name, value)) return false;
  // The defaults file may have been reloaded above; it is read as it is now.
  files_.front()->get(name, defaultValue);
  return true;
}

bool Config::set(const std::string& name, const std::string& value) {
  std::string current;
  if (get(name, current) && current == value) return true;
  if (files_.empty()) {
    KESP_LOG(LOG_ERROR, "set", "file list is empty");
    return false;
  }
  configfile& newest = *files_.back();
  if (!newest.set(name, value)) return false;
  return newest.save();
}

void Config::getAll(std::map<std::string, std::string>& values) {
  values.clear();
  std::map<std::string, std::string> fromFile;
  for (const auto& file : files_) {
    file->getAll(fromFile);
    for (const auto& entry : fromFile) values[entry.first] = entry.second;
  }
}

}  // namespace KESP
