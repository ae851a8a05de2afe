#include "change/change_scope.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "change/change_journal.h"
#include "change/change_lock.h"
#include "files/draft.h"
#include "files/file_write.h"
#include "files/root_path.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "system/dhcp_clients.h"

namespace KESP {

namespace {

const int kDefaultWaitSeconds = 60;
int g_waitSeconds = kDefaultWaitSeconds;

/// The change a thread has open: its lock, its journal and how deep it is nested.
struct OpenChange {
  detail::ChangeLock lock;
  detail::Journal journal;
  bool journalOnDisk = false;
  int depth = 0;
};

thread_local std::unique_ptr<OpenChange> t_change;

/// The journal goes to disk before the change acts on what it records.
bool persist(OpenChange& change) {
  if (!detail::saveJournal(change.journal)) return false;
  change.journalOnDisk = true;
  return true;
}

bool forgetJournal(OpenChange& change) {
  change.journal = detail::Journal();
  if (!change.journalOnDisk) return true;
  if (!detail::removeJournal()) return false;
  change.journalOnDisk = false;
  return true;
}

/// Restores the journal's files; logs each that failed and adds what was done.
bool restoreFiles(const detail::Journal& journal, const char* operation,
                  std::vector<std::string>& done) {
  bool all = true;
  for (const detail::JournaledFile& file : journal.files) {
    bool changed = false;
    if (!detail::restoreJournaledFile(file, changed)) {
      const int err = errno;
      KESP_LOG(LOG_ERROR, operation,
               "can't open " << sysPath(file.path) << " for writing" << detail::errnoSuffix(err));
      all = false;
    } else if (changed) {
      done.push_back((file.existed ? "restored " : "removed ") + file.path);
    }
  }
  // Innermost first, once their files are gone; one that holds something
  // the change did not put there, or is no directory any more, stays.
  for (auto directory = journal.directories.rbegin(); directory != journal.directories.rend();
       ++directory) {
    if (detail::removeEmptyDirectoryInRoot(sysPath(*directory))) {
      done.push_back("removed " + *directory);
    } else if (errno != ENOENT && errno != ENOTEMPTY && errno != EEXIST && errno != ENOTDIR) {
      const int err = errno;
      KESP_LOG(LOG_ERROR, operation,
               "can't remove " << sysPath(*directory) << detail::errnoSuffix(err));
      all = false;
    }
  }
  return all;
}

/// Every later change is refused while the journal stays: the way past it.
void logWayPast(const char* operation) {
  KESP_LOG(LOG_ERROR, operation,
           "the unfinished change stays in " << detail::journalPath()
               << "; 'kesp_config_net recover --discard' moves that journal aside, kept for "
                  "inspection, so that changes can go on");
}

}  // namespace

void setChangeWaitSeconds(int seconds) { g_waitSeconds = seconds < 0 ? 0 : seconds; }

namespace detail {

ChangeScope::ChangeScope(const char* operation) : operation_(operation) {
  // A draft only learns what the change would do: nothing to lock or journal.
  if (openDraft()) {
    drafted_ = true;
    open_ = true;
    return;
  }
  if (t_change) {
    ++t_change->depth;
    open_ = true;
    return;
  }
  // Every file the writer touches from here on is journaled first.
  setBeforeChangeHook(journalBeforeChange);
  setBeforeDirectoryHook(journalBeforeDirectory);
  std::unique_ptr<OpenChange> change(new OpenChange);
  if (!change->lock.acquire(g_waitSeconds, operation)) return;
  std::vector<std::string> done;
  // Only the running system's interfaces run with its files.
  if (!recoverJournal(operation, done, systemRoot().empty())) {
    KESP_LOG(LOG_ERROR, operation,
             "an unfinished earlier change could not be undone; nothing was changed");
    return;
  }
  change->depth = 1;
  t_change = std::move(change);
  open_ = true;
  outermost_ = true;
}

ChangeScope::~ChangeScope() {
  if (!open_ || drafted_) return;
  if (outermost_ && !finished_) rollBack();
  if (--t_change->depth == 0) t_change.reset();  // releases the lock
}

bool ChangeScope::noteRestart(const std::string& iface) {
  if (!open_) return false;
  if (drafted_) return true;
  t_change->journal.restarts.push_back(iface);
  if (persist(*t_change)) return true;
  const int err = errno;
  KESP_LOG(LOG_ERROR, operation_, "cannot write " << journalPath() << errnoSuffix(err));
  t_change->journal.restarts.pop_back();
  return false;
}

bool ChangeScope::finish(bool succeeded) {
  if (!open_ || finished_) return succeeded;
  finished_ = true;
  if (drafted_) return succeeded;
  if (!succeeded) {
    rollBack();
    return false;
  }
  if (!outermost_) return true;
  if (forgetJournal(*t_change)) return true;
  const int err = errno;
  KESP_LOG(LOG_ERROR, operation_, "cannot remove " << journalPath() << errnoSuffix(err));
  return false;
}

bool ChangeScope::rollBack() {
  if (!open_) return false;
  finished_ = true;
  if (drafted_) return true;
  std::vector<std::string> done;
  if (!restoreFiles(t_change->journal, operation_, done)) return false;
  removeLeftoverTemporaries(t_change->journal);
  return forgetJournal(*t_change);
}

namespace {

/// Journals the file at path (a link itself when linkItself) before its
/// first change within the open scope.
bool journalFile(const std::string& path, bool linkItself) {
  if (!t_change) return true;
  JournaledFile file;
  if (!captureFile(path, file, linkItself)) {
    // Where no file can be, the writer fails by itself: nothing to record.
    return errno == ENOENT;
  }
  if (t_change->journal.hasFile(file.path)) return true;
  t_change->journal.files.push_back(file);
  if (persist(*t_change)) return true;
  const int err = errno;
  t_change->journal.files.pop_back();
  KESP_LOG(LOG_ERROR, "journal", "cannot write " << journalPath() << errnoSuffix(err));
  errno = err;
  return false;
}

}  // namespace

bool journalBeforeChange(const std::string& path) { return journalFile(path, false); }

bool journalBeforeDirectory(const std::string& path) {
  if (!t_change) return true;
  std::string inside;
  if (!pathInRoot(path, inside, true)) return false;
  t_change->journal.directories.push_back(inside);
  if (persist(*t_change)) return true;
  const int err = errno;
  t_change->journal.directories.pop_back();
  KESP_LOG(LOG_ERROR, "journal", "cannot write " << journalPath() << errnoSuffix(err));
  errno = err;
  return false;
}

bool removeFile(const std::string& path) {
  if (DraftedFiles* draft = openDraft()) {
    (*draft)[path] = DraftedFile{true, "", 0};
    return true;
  }
  // A link goes, not what it leads to: it is journaled as the link it is.
  if (!journalFile(path, true)) return false;
  if (!removeInRoot(path)) return errno == ENOENT;
  const std::string::size_type slash = path.rfind('/');
  return syncDirectoryInRoot(slash == 0 ? "/" : path.substr(0, slash));
}

bool recoverJournal(const char* operation, std::vector<std::string>& done,
                    bool restartInterfaces) {
  Journal journal;
  bool present = false;
  std::string why;
  if (!loadJournal(journal, present, &why)) {
    const int err = errno;
    if (why.empty())
      KESP_LOG(LOG_ERROR, operation, "cannot read " << journalPath() << errnoSuffix(err));
    else
      KESP_LOG(LOG_ERROR, operation, "refusing the unfinished change in " << journalPath() << ": "
                                         << why << "; nothing was done from it");
    logWayPast(operation);
    return false;
  }
  const std::vector<std::string> temporaries = removeLeftoverTemporaries(journal);
  for (const std::string& path : temporaries) done.push_back("removed temporary file " + path);
  if (!present) return true;
  KESP_LOG(LOG_WARN, operation, "putting back an unfinished change");
  if (!restoreFiles(journal, operation, done)) {
    logWayPast(operation);
    return false;
  }
  if (restartInterfaces) {
    for (const std::string& iface : journal.restarts) {
      controlInterface(iface, false, 0);
      // A client the killed change started outlives it, and the old files,
      // which may not use one, would not stop it.
      for (const std::string& client : stopDhcpClients(iface, dhcpClientsOf(iface)))
        done.push_back("stopped " + client);
      if (controlInterface(iface, true, 0))
        done.push_back("restarted " + iface);
      else
        KESP_LOG(LOG_ERROR, operation, "cannot bring " << iface << " up again");
    }
  }
  if (!removeJournal()) {
    const int err = errno;
    KESP_LOG(LOG_ERROR, operation, "cannot remove " << journalPath() << errnoSuffix(err));
    return false;
  }
  for (const std::string& line : done) KESP_LOG(LOG_INFO, operation, line);
  return true;
}

}  // namespace detail

bool recoverInterruptedChange(std::vector<std::string>* done, bool restartInterfaces) {
  const char* const operation = "recover";
  // An image that cannot be written has no lock to take, and without a
  // journal nothing to put back either.
  struct statvfs volume;
  if (!interruptedChangeWaiting() && statvfs(sysPath("/").c_str(), &volume) == 0 &&
      (volume.f_flag & ST_RDONLY)) {
    if (done) done->clear();
    return true;
  }
  detail::ChangeLock lock;
  if (!lock.acquire(g_waitSeconds, operation)) return false;
  std::vector<std::string> lines;
  const bool ok = detail::recoverJournal(operation, lines, restartInterfaces);
  if (done) *done = lines;
  return ok;
}

bool interruptedChangeWaiting() {
  const int fd = detail::openInRoot(detail::journalPath(), O_PATH | O_NOFOLLOW);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool discardInterruptedChange(std::string* keptAs) {
  const char* const operation = "recover";
  detail::ChangeLock lock;
  if (!lock.acquire(g_waitSeconds, operation)) return false;
  std::string aside;
  if (!detail::discardJournal(aside)) {
    if (errno == ENOENT) return true;
    const int err = errno;
    KESP_LOG(LOG_ERROR, operation,
             "cannot move " << detail::journalPath() << " aside" << detail::errnoSuffix(err));
    return false;
  }
  KESP_LOG(LOG_WARN, operation,
           "the unfinished change was not put back; its journal is kept as " << aside);
  if (keptAs) *keptAs = aside;
  return true;
}

bool asOneChange(const char* operation, const std::function<bool()>& body) {
  detail::ChangeScope scope(operation);
  if (!scope.isOpen()) return false;
  return scope.finish(body());
}

}  // namespace KESP
