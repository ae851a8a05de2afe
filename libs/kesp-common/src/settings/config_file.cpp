// One XML property file: parsing, the name index, in-document changes and the
// atomic write back.

#include <tinyxml.h>

#include <cerrno>
#include <cstring>

#include "files/file_write.h"
#include "files/root_path.h"
#include "kesp/config.h"
#include "kesp/log.h"

namespace KESP {

namespace {

const char* const kPropertiesElement = "properties";
const char* const kPropertyElement = "property";
const char* const kNameAttribute = "name";
const char* const kValueAttribute = "value";

/// A missing "value" attribute reads as the empty string.
std::string valueOf(const TiXmlElement& property) {
  const char* text = property.Attribute(kValueAttribute);
  return text ? text : "";
}

/// What is at the path (inside the system root). Absence is an answer, not an
/// error: false (errno set) only when the question could not be answered.
bool statusAt(const std::string& path, bool& present, struct stat& info) {
  present = detail::statInRoot(path, info);
  return present || errno == ENOENT;
}

/// As the XML library's own file loading does before it parses.
std::string withUnixLineEnds(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::string::size_type i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      result += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      result += '\n';
    }
  }
  return result;
}

}  // namespace

std::time_t getLastWriteTime(const std::string& path) {
  bool present = false;
  struct stat info;
  if (!statusAt(path, present, info)) {
    KESP_LOG(LOG_ERROR, "getLastWriteTime",
             "error occurred while checking for last write time. file="
                 << path << ", reason=" << std::strerror(errno));
    return 0;
  }
  return present ? info.st_mtime : 0;
}

configfile::configfile(const std::string& path)
    : path_(path), document_(new TiXmlDocument()) {}

configfile::~configfile() = default;

void configfile::forgetContent() {
  index_.clear();
  properties_ = nullptr;
  lastWriteTime_ = 0;
  document_->Clear();
}

bool configfile::load() {
  forgetContent();
  bool present = false;
  struct stat info;
  if (!statusAt(path_, present, info)) {
    // Not absence but an unanswerable question (no search permission, ...).
    KESP_LOG(LOG_ERROR, "load",
             "unable to check configuration file " << path_ << " (" << std::strerror(errno)
                                                   << ")");
    return false;
  }
  if (!present) {
    KESP_LOG(LOG_DEBUG, "load", "configuration file not found " << path_);
    return false;
  }
  // Taken before reading: an edit that lands while we parse then still counts
  // as a change for the next reload instead of being hidden by a later time.
  std::time_t timeBeforeParse = info.st_mtime;
  // Read by the file layer, which refuses a directory or a pipe at once.
  std::string text;
  if (!detail::readWholeFile(path_, text)) {
    KESP_LOG(LOG_ERROR, "load", "failed to load file " << path_ << " (" << std::strerror(errno)
                                                       << ")");
    return false;
  }
  document_->Parse(withUnixLineEnds(text).c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  if (document_->Error()) {
    KESP_LOG(LOG_ERROR, "load",
             "failed to load file " << path_ << " (" << document_->ErrorDesc() << ")");
    return false;
  }
  lastWriteTime_ = timeBeforeParse;

  TiXmlElement* root = document_->RootElement();
  if (!root) {
    KESP_LOG(LOG_ERROR, "load",
             "invalid file " << path_ << " (missing KESP-service element)");
    return false;
  }
  // Elements only: a text child reading "properties" must not be taken for it.
  TiXmlElement* properties = root->FirstChildElement(kPropertiesElement);
  if (!properties) {
    KESP_LOG(LOG_ERROR, "load",
             "invalid file '" << path_ << "' (missing properties element)");
    return false;
  }
  properties_ = properties;
  for (TiXmlElement* property = properties->FirstChildElement(kPropertyElement); property;
       property = property->NextSiblingElement(kPropertyElement)) {
    const char* name = property->Attribute(kNameAttribute);
    if (name) index_[name] = property;
  }
  return true;
}

bool configfile::save() {
  if (!properties_) {
    KESP_LOG(LOG_ERROR, "save",
             "failed to save file " << path_ << " (no configuration loaded)");
    return false;
  }
  TiXmlPrinter printer;
  document_->Accept(&printer);
  std::string failure;
  if (!detail::replaceFile(path_, printer.Str(), &failure)) {
    KESP_LOG(LOG_ERROR, "save", "failed to save file " << path_ << " (" << failure << ")");
    return false;
  }
  lastWriteTime_ = getLastWriteTime(path_);
  return true;
}

bool configfile::get(const std::string& name, std::string& value) const {
  auto found = index_.find(name);
  if (found == index_.end()) {
    value.clear();
    return false;
  }
  value = valueOf(*found->second);
  return true;
}

bool configfile::set(const std::string& name, const std::string& value) {
  if (!properties_) {
    KESP_LOG(LOG_ERROR, "set",
             "setting value is not supported, make sure to use an existing file");
    return false;
  }
  auto found = index_.find(name);
  TiXmlElement* property = found == index_.end() ? nullptr : found->second;
  if (!property) {
    TiXmlElement fresh(kPropertyElement);
    fresh.SetAttribute(kNameAttribute, name);
    TiXmlNode* inserted = properties_->InsertEndChild(fresh);
    property = inserted ? inserted->ToElement() : nullptr;
    if (!property) {
      KESP_LOG(LOG_ERROR, "set", "unable to add property " << name);
      return false;
    }
    index_[name] = property;
  }
  property->SetAttribute(kValueAttribute, value);
  return true;
}

void configfile::getAll(std::map<std::string, std::string>& values) const {
  values.clear();
  for (const auto& entry : index_) values[entry.first] = valueOf(*entry.second);
}

bool configfile::isModified() const { return getLastWriteTime(path_) != lastWriteTime_; }

}  // namespace KESP
