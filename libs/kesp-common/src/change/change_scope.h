#pragma once
// A change as one unit. Every writing operation opens a ChangeScope first: the
// outermost scope of a thread takes the change lock, puts back an unfinished
// change found in the journal, and journals every file the writer touches
// while it is open; scopes opened inside it share that lock and journal.

#include <string>
#include <vector>

namespace KESP {
namespace detail {

class ChangeScope {
 public:
  /// Opens the scope; see isOpen. Failures are logged under operation.
  explicit ChangeScope(const char* operation);
  ChangeScope(const ChangeScope&) = delete;
  ChangeScope& operator=(const ChangeScope&) = delete;
  /// An outermost scope that was neither committed nor rolled back rolls back.
  ~ChangeScope();

  /// False when the lock could not be had or an unfinished change could not
  /// be put back: the operation must then change nothing.
  bool isOpen() const { return open_; }

  /// Records durably that the change takes iface down and up, before it does.
  bool noteRestart(const std::string& iface);

  /// Ends the change: committed (the journal removed) when succeeded, else
  /// rolled back. Inside another scope a success leaves the decision to the
  /// outer one. Returns succeeded, and false when the commit failed.
  bool finish(bool succeeded);

  /// Puts every journaled file back now and forgets them; the journal is
  /// removed when all came back. True when all came back.
  bool rollBack();

 private:
  /// Keeps the committed change pending confirmation: the journal stays,
  /// with its deadline, and its runner is started.
  bool keepPending();

  const char* operation_;
  bool open_ = false;
  bool outermost_ = false;
  bool finished_ = false;
  bool drafted_ = false;  ///< opened inside a Draft: records, never locks
};

/// The writer's hook: journals the file at path (system root included, links
/// followed) before its first change within the open scope. True when no
/// scope is open, the file is already journaled, or it was journaled now.
bool journalBeforeChange(const std::string& path);
/// The writer's directory hook: records the directory at path (system root
/// included) as made by the change, before it is made.
bool journalBeforeDirectory(const std::string& path);

/// Removes the file at path (system root included) as part of the open
/// change, journaled first. A missing file is no error. False with errno set.
bool removeFile(const std::string& path);

/// Puts back the change of a journal found on disk; the caller holds the
/// lock. Adds what it did to done. False when something could not be put back
/// (the journal then stays for a later attempt).
/// The journaled interfaces are restarted only when restartInterfaces.
/// A change pending confirmation whose deadline has not come (in this boot)
/// is put back only with revertPending; otherwise it stays, named in the log,
/// and the result is false with errno EBUSY.
bool recoverJournal(const char* operation, std::vector<std::string>& done,
                    bool restartInterfaces, bool revertPending = false);

/// How long a writing operation waits for the lock.
int changeWaitSeconds();

}  // namespace detail
}  // namespace KESP
