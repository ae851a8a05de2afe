#pragma once
// Text and key-value files, command execution, encodings and case conversion.

#include <list>
#include <map>
#include <string>
#include <vector>

namespace KESP {

/// The files that the library needed since the last call but could not read
/// though they were there (a FIFO, a directory, no permission, an I/O error),
/// each as "path: reason"; taken, so the next call starts afresh. A command
/// names them to its user rather than show an absent file's answer as true.
std::vector<std::string> takeUnreadableFiles();

/// A file held in memory as its lines, without line ends.
class TextFile {
 public:
  std::string filename;
  std::list<std::string> lines;

  TextFile() = default;
  virtual ~TextFile() = default;

  /// Sets filename and replaces the lines by the file's. False when the file is
  /// missing or cannot be read; an existing file that cannot be read is
  /// remembered so that save() does not overwrite it.
  bool load(const std::string& path);
  /// Replaces the file atomically with the lines; false (logged) on failure.
  bool save();
  bool save(const std::string& path);
  /// True when the last load found the file but could not read it whole.
  bool unreadable() const { return unreadable_; }
  /// The mode save() gives a file it creates, whatever the umask (0644 unless
  /// set); an existing file keeps its own mode and owner.
  void setNewFileMode(unsigned mode) { newFileMode_ = mode; }

 private:
  bool unreadable_ = false;
  unsigned newFileMode_ = 0644;
};

/// Key-value view of a TextFile: "key<separator>value" lines, optionally in
/// "[section]" blocks. Edits change only the own lines, in memory.
class KeyValueFile : public TextFile {
 public:
  using Position = std::list<std::string>::iterator;

  explicit KeyValueFile(char separator, bool collapse = false)
      : separator_(separator), collapse_(collapse) {}

  char separator() const { return separator_; }
  bool collapse() const { return collapse_; }

  /// Appends the values and positions of every line of the key; returns the
  /// size of the value list afterwards.
  size_t find(const std::string& key, std::vector<std::string>& values,
              std::vector<Position>& positions);
  size_t find(const std::string& section, const std::string& key,
              std::vector<std::string>& values, std::vector<Position>& positions);
  /// Appends every value of the key; true when the list is not empty afterwards.
  bool getAll(const std::string& key, std::vector<std::string>& values);
  /// The first value of the key; false with value untouched when absent.
  bool get(const std::string& key, std::string& value);
  /// Replaces the key's lines in place, appends what is left, erases the rest.
  bool set(const std::string& key, const std::string& value);
  bool set(const std::string& key, const std::vector<std::string>& values);
  bool set(const std::string& section, const std::string& key, const std::string& value);
  bool set(const std::string& section, const std::string& key,
           const std::vector<std::string>& values);
  /// Erases every line of the key; true when there was one.
  bool remove(const std::string& key);
  bool remove(const std::string& section, const std::string& key);

 private:
  size_t findIn(const std::string* section, const std::string& key,
                std::vector<std::string>& values, std::vector<Position>& positions);
  void setIn(const std::string* section, const std::string& key,
             const std::vector<std::string>& values);
  bool removeIn(const std::string* section, const std::string& key);

  char separator_;
  bool collapse_;
};

/// The value of the last "key=value" line of the file; false when none or unreadable.
bool get_keyvalue_file(const std::string& path, const std::string& key, std::string& value);
/// Makes the file hold key=value once; false (logged) when it cannot be written.
bool set_keyvalue_file(const std::string& path, const std::string& key, const std::string& value);

/// The text as one shell word, for callers building command lines: unchanged
/// when it holds only letters, digits and _./:,+=@%-, otherwise single-quoted
/// (each ' as '\''); '' for the empty text.
std::string shell_quote(const std::string& text);

/// Runs a shell command and collects its standard output; the wait status, or -1.
int execute(const std::string& command, std::string& output);
/// Runs a shell command, its standard output to /dev/null, and waits for the
/// shell only (not for what it leaves in the background); 0 when it started,
/// -1 otherwise.
int execute_no_wait(const std::string& command);
/// Runs the command from a temporary script that exports the variables and
/// changes to the directory first, values and directory as literal words; the
/// wait status, or -1 when no script was made: a variable name that is no
/// shell identifier, or a value or directory holding a NUL byte, is refused.
int system_env(const std::string& command, const std::string& directory,
               const std::map<std::string, std::string>& environment);
/// Starts argv[0] with argv, no shell, and waits for it; 0 after it ended, -1
/// when no process could be created.
int run_program(const char* const argv[]);

extern const std::string ENCODING_BASE64;
extern const std::string ENCODING_PLAINTEXT;
/// Encodes data (only "base64"); false for another name.
bool encode(const std::string& data, const std::string& name, std::string& out);
/// Decodes "base64" or copies "plaintext"; false for another name.
bool decode(const std::string& name, const std::string& data, std::string& out);

/// The host name, at most 64 bytes; empty when it cannot be read.
std::string getHostName();

/// text for a message: every byte but printable ASCII, and the backslash, as
/// \xNN, so that quoted input can neither drive the terminal (ESC, BEL) nor
/// forge a line (NUL, CR, LF). The one escaping of every message that
/// quotes input.
std::string terminalSafe(const std::string& text);

std::string to_lower(std::string text);
std::string to_upper(std::string text);

}  // namespace KESP
