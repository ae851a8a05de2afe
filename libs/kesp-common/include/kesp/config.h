#pragma once
// Layered XML property files: the first file added holds the defaults, later
// files override it, and changes go to the newest file.
//
// File format:
//   <KESP-service>
//     <properties>
//       <property name="log_level" value="warn"/>
//     </properties>
//   </KESP-service>

#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The XML library stays out of this header: its class layout depends on how it
// is configured, and callers should not have to know that.
class TiXmlDocument;
class TiXmlElement;

namespace KESP {

/// The file's modification time in seconds; 0 when it does not exist or the
/// time cannot be read (the latter is logged).
std::time_t getLastWriteTime(const std::string& path);

/// One XML property file, parsed and indexed by property name.
class configfile {
 public:
  /// Nothing is read yet: no document content, no properties, time 0.
  explicit configfile(const std::string& path);
  ~configfile();
  configfile(const configfile&) = delete;
  configfile& operator=(const configfile&) = delete;

  /// (Re)reads the file. False, logged, when it is missing, cannot be parsed or
  /// lacks the root or the "properties" element; the earlier content is then
  /// forgotten, so lookups find nothing until a later load succeeds.
  bool load();
  /// Replaces the file atomically with the document and remembers the new
  /// modification time, so this write does not count as a change. False,
  /// logged, when the write fails (the file is left as it was) or when nothing
  /// was ever loaded (an empty document would wipe the file).
  bool save();
  /// The "value" attribute of the last "property" element with this name
  /// (empty when it has none); false, value cleared, when there is no such name.
  bool get(const std::string& name, std::string& value) const;
  /// Places the value in the document, appending a new "property" element for
  /// an unknown name; the file is not written. False, logged, when the file
  /// never loaded.
  bool set(const std::string& name, const std::string& value);
  /// True when the file's modification time differs from the one of the last
  /// load or save.
  bool isModified() const;
  const std::string& getPath() const { return path_; }
  /// Every indexed name with its value (map cleared first).
  void getAll(std::map<std::string, std::string>& values) const;

 private:
  void forgetContent();

  std::string path_;
  std::time_t lastWriteTime_ = 0;
  std::unique_ptr<TiXmlDocument> document_;
  TiXmlElement* properties_ = nullptr;
  std::map<std::string, TiXmlElement*> index_;
};

/// A stack of property files; lookups take the newest file that has the name.
class Config {
 public:
  Config() = default;
  Config(const Config&) = delete;
  Config& operator=(const Config&) = delete;

  /// Loads the file and appends it to the stack. Returns whether it loaded; a
  /// file that did not load is still appended unless mustLoad is true.
  bool addFile(const std::string& path, bool mustLoad);
  /// Writes (replacing any existing file) a document of an empty "properties"
  /// element under a root element of the given name, then adds it with
  /// mustLoad true. False, logged, when the name is no XML name or the write
  /// fails.
  bool addNewFile(const std::string& path, const std::string& rootElementName);

  /// The value from the newest file that has the name (reloading changed files
  /// first when auto reload is on); false, value cleared, when none has it.
  virtual bool get(const std::string& name, std::string& value);
  /// As get(name, value); defaultValue receives the first file's value for the
  /// name, or empty. False when no file has the name (defaultValue untouched).
  virtual bool get(const std::string& name, std::string& value, std::string& defaultValue);
  /// Stores the value in the newest file and saves it; writes nothing when the
  /// current value is already equal. True when the newest file holds the value.
  virtual bool set(const std::string& name, const std::string& value);
  /// Every name and value of all files, later files overriding earlier ones.
  virtual void getAll(std::map<std::string, std::string>& values);
  /// Deletes the files, the last added first.
  virtual ~Config();

  void setAutoReload(bool autoReload) { autoReload_ = autoReload; }
  bool getAutoReload() const { return autoReload_; }

 private:
  std::vector<std::unique_ptr<configfile>> files_;
  bool autoReload_ = false;
};

}  // namespace KESP
