// One XML property file: parsing, the name index, in-document changes and the
// atomic write back.

#include <tinyxml.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "file_write.h"
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

/// What is at the path. Absence is an answer, not an error: `error` is set
/// only when the question could not be answered (file_type::none then).
std::filesystem::file_type typeAt(const std::string& path, std::error_code& error) {
  std::filesystem::file_type type = std::filesystem::status(path, error).type();
  if (type == std::filesystem::file_type::not_found) error.clear();
  return error ? std::filesystem::file_type::none : type;
}

/// The modification time in whole seconds since the epoch. Read with stat:
/// C++17 gives file_time_type no exact conversion to time_t, and a
/// conversion through the clocks' current times could differ by a second
/// between two calls, which would report a change that never happened.
bool modificationTime(const std::string& path, std::time_t& time, std::error_code& error) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    error.assign(errno, std::generic_category());
    return false;
  }
  time = status.st_mtime;
  return true;
}

}  // namespace

std::time_t getLastWriteTime(const std::string& path) {
  std::error_code error;
  bool present = typeAt(path, error) != std::filesystem::file_type::not_found;
  std::time_t time = 0;
  if (!error && present) modificationTime(path, time, error);
  if (error) {
    KESP_LOG(LOG_ERROR, "getLastWriteTime",
             "error occurred while checking for last write time. file="
                 << path << ", reason=" << error.message());
    return 0;
  }
  return present ? time : 0;
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
  std::error_code error;
  std::filesystem::file_type type = typeAt(path_, error);
  if (error) {
    // Not absence but an unanswerable question (no search permission, ...).
    KESP_LOG(LOG_ERROR, "load",
             "unable to check configuration file " << path_ << " (" << error.message() << ")");
    return false;
  }
  if (type == std::filesystem::file_type::not_found) {
    KESP_LOG(LOG_DEBUG, "load", "configuration file not found " << path_);
    return false;
  }
  // The XML library sizes its buffer from the end offset, which a directory
  // reports as huge, and would block on a pipe: only plain files are parsed.
  if (type != std::filesystem::file_type::regular) {
    KESP_LOG(LOG_ERROR, "load", "failed to load file " << path_ << " (not a regular file)");
    return false;
  }
  // Taken before parsing: an edit that lands while we parse then still counts
  // as a change for the next reload instead of being hidden by a later time.
  std::time_t timeBeforeParse = getLastWriteTime(path_);
  if (!document_->LoadFile(path_, TIXML_DEFAULT_ENCODING)) {
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
