#pragma once
// The one way the library changes a file: never a half-written file.

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace KESP {
namespace detail {

/// Replaces the file at path with content: a hidden temporary file in the same
/// directory, every write checked, fsync, the old owner and mode kept (new files
/// get newFileMode, whatever the umask), renamed over the target. A symbolic link's target is
/// replaced, resolved inside the system root (see root_path.h); anything but a
/// regular file there is refused. Where the target is a mount point the content is rewritten in place
/// and the old content put back if that fails. On failure the old file is left
/// as it was, no temporary file remains, `error` (when given) holds the system's
/// error text, errno holds its number, and the result is false. Nothing is logged here: callers log with
/// their own message.
bool replaceFile(const std::string& path, const std::string& content,
                 std::string* error = nullptr, mode_t newFileMode = 0644);

/// What replaceFile asks before it changes the file at path (system root
/// included): false refuses the change, errno set. The change machinery
/// installs its journal here, so that every write of a change is on record
/// before it happens; with no hook installed every write goes ahead.
using BeforeChangeHook = bool (*)(const std::string& path);
void setBeforeChangeHook(BeforeChangeHook hook);

/// What makeDirectoriesForWrite asks before it makes the directory at path
/// (system root included): false refuses it, errno set. The journal records
/// it here, so that a change put back takes away the directories it made.
using BeforeDirectoryHook = bool (*)(const std::string& path);
void setBeforeDirectoryHook(BeforeDirectoryHook hook);

/// Makes directory (system root included) and its missing parents (0755)
/// for a file about to be written there, each one told to the directory hook
/// before it is made. Nothing is made while the writer drafts. False with
/// errno set.
bool makeDirectoriesForWrite(const std::string& directory);

/// Puts content back at path (links followed inside the root) as replaceFile
/// does, with exactly this mode, owner and group, set on the new file before it
/// takes the old one's place. Not journaled. False with errno set.
bool restoreFileAs(const std::string& path, const std::string& content, mode_t mode, uid_t owner,
                   gid_t group);

/// A new file, mode 0600, hidden beside base in directory ("." base "." and
/// six characters), so that no "ifcfg-*" or "*.conf" pattern ever picks it
/// up; its name goes to `name`. -1 with errno set.
int createHiddenTemporary(int directory, const std::string& base, std::string& name);

/// The system calls through which the writer changes files. Tests replace them
/// to inject failures at every step; everything else uses the defaults.
struct WriterCalls {
  ssize_t (*write)(int fd, const void* data, size_t size);
  int (*fsync)(int fd);
  int (*close)(int fd);
  int (*rename)(int fromDirectory, const char* from, int toDirectory, const char* to);
};
/// The calls in use (initially the system's own).
WriterCalls& writerCalls();
/// Puts the system's own calls back.
void resetWriterCalls();

/// The most the library reads of any file it reads whole, and the most a
/// change's journal may hold: a file the journal could not keep could not be
/// changed safely either. A larger file is refused, errno EFBIG, and named.
constexpr size_t kMaxReadBytes = size_t{16} << 20;
/// The most lines a file read whole may have (errno E2BIG beyond): a file
/// of short lines costs many times its size once split into lines.
constexpr size_t kMaxReadLines = 262144;
/// The bound as the refusal names it ("16 MiB").
std::string readBoundText();
/// False, errno E2BIG, when content has more than kMaxReadLines lines.
bool withinLineBound(const std::string& content);

/// What became of reading a whole file; on failure errno tells why. Only a
/// regular file is read (resolved inside the system root); anything else is
/// refused at once, logged. Nothing of a file over kMaxReadBytes is read when
/// it says so (fstat), and reading stops there when it does not.
enum class ReadResult { Read, NotOpened, NotRead };
/// `identity` (when given) receives the file's stat(2) as read, for telling
/// two names of one file apart (zeroed for a file only a draft holds).
ReadResult readFile(const std::string& path, std::string& content,
                    struct stat* identity = nullptr);

/// readFile of the entry `name` of an open directory whose path (system root
/// included) is directoryPath: the directory's path is not looked up again
/// for every file. An entry that is a symbolic link is read as readFile
/// reads the whole path, followed inside the system root.
ReadResult readFileInDirectory(int directory, const std::string& directoryPath,
                               const std::string& name, std::string& content,
                               struct stat* identity = nullptr);

/// Records a file that is there but cannot be read as the command needs it
/// (errno value err), for takeUnreadableFiles: such a file is never taken
/// for absent. EFBIG and E2BIG are named with their bound, and logged.
void noteUnreadable(const std::string& path, int err);
/// Records a file that was read but is refused: `why` says what its family's
/// own reader would say of it. Logged, and kept for takeUnreadableFiles.
void noteRefused(const std::string& path, const std::string& why);

/// Reads what remains of fd, at most `limit` bytes; false with errno EFBIG
/// when there is more, with the read's errno when reading fails. `size`:
/// what fstat said of a regular file; a short read that ends there is the
/// end, which spares the read that would return nothing (per file, on
/// directories of many small files). Files that claim no size (the kernel's
/// tables) and files that grew are read until read(2) returns 0.
bool readBounded(int fd, size_t limit, std::string& content, off_t size = 0);

/// Reads the whole file into content; false when it cannot be opened or read.
/// `missing` (when given) is set when the file does not exist.
bool readWholeFile(const std::string& path, std::string& content, bool* missing = nullptr);

/// " (Errno N : text)" for errno value err, the suffix of file-error log lines.
std::string errnoSuffix(int err);

}  // namespace detail
}  // namespace KESP
