#include "change/pending_change.h"

#include <ctime>
#include <fstream>
#include <vector>

#include "change/change_lock.h"
#include "change/change_scope.h"
#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

std::string currentBootId() {
  // The kernel's own answer: a system root never stands in for it.
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  if (!std::getline(in, id) || id.size() > 64 ||
      id.find_first_not_of("0123456789abcdef-") != std::string::npos)
    return "";
  return id;
}

bool pendingIsDue(const Journal& journal) {
  if (journal.deadline <= 0) return true;
  const std::string boot = currentBootId();
  if (boot.empty() || boot != journal.bootId) return true;
  return static_cast<long long>(std::time(nullptr)) >= journal.deadline;
}

std::string utcTimestamp(long long secondsSinceEpoch) {
  const std::time_t when = static_cast<std::time_t>(secondsSinceEpoch);
  struct tm utc;
  char text[32];
  if (!gmtime_r(&when, &utc) || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
    return "?";
  return text;
}

std::string describePending(const Journal& journal) {
  std::string text = "a change pending until " + utcTimestamp(journal.deadline);
  if (!journal.restarts.empty()) {
    text += " (";
    for (size_t i = 0; i < journal.restarts.size(); ++i)
      text += (i ? ", " : "") + journal.restarts[i];
    text += ")";
  }
  return text;
}

namespace {

/// Loads the journal under the lock; false (logged) when it cannot be read.
bool loadForDecision(const char* operation, Journal& journal, bool& present) {
  std::string why;
  if (loadJournal(journal, present, &why)) return true;
  const int err = errno;
  if (why.empty())
    KESP_LOG(LOG_ERROR, operation, "cannot read " << journalPath() << errnoSuffix(err));
  else
    KESP_LOG(LOG_ERROR, operation,
             "refusing the change in " << journalPath() << ": " << why << "; nothing was done from it");
  return false;
}

}  // namespace

}  // namespace detail

bool findPendingChange(PendingChange& pending) {
  pending = PendingChange();
  detail::Journal journal;
  bool present = false;
  if (!detail::loadJournal(journal, present) || !present || journal.deadline <= 0) return false;
  pending.deadline = journal.deadline;
  pending.deadlineText = detail::utcTimestamp(journal.deadline);
  pending.interfaces = journal.restarts;
  pending.due = detail::pendingIsDue(journal);
  return true;
}

PendingResult confirmPendingChange() {
  const char* const operation = "confirm";
  detail::ChangeLock lock;
  if (!lock.acquire(detail::changeWaitSeconds(), operation)) return PendingResult::Failed;
  detail::Journal journal;
  bool present = false;
  if (!detail::loadForDecision(operation, journal, present)) return PendingResult::Failed;
  if (!present || journal.deadline <= 0) return PendingResult::NonePending;
  if (detail::pendingIsDue(journal)) {
    // Too late: the promise was to put it back, and so it is.
    KESP_LOG(LOG_ERROR, operation,
             detail::describePending(journal) << " was not confirmed in time; it is put back");
    std::vector<std::string> done;
    detail::recoverJournal(operation, done, !offlineImage(), true);
    return PendingResult::Failed;
  }
  if (!detail::removeJournal()) {
    const int err = errno;
    KESP_LOG(LOG_ERROR, operation,
             "cannot remove " << detail::journalPath() << detail::errnoSuffix(err));
    return PendingResult::Failed;
  }
  KESP_LOG(LOG_INFO, operation, "kept " << detail::describePending(journal));
  return PendingResult::Done;
}

PendingResult revertPendingChange(bool onlyIfDue, std::vector<std::string>* done) {
  const char* const operation = "revert";
  detail::ChangeLock lock;
  if (!lock.acquire(detail::changeWaitSeconds(), operation)) return PendingResult::Failed;
  detail::Journal journal;
  bool present = false;
  if (!detail::loadForDecision(operation, journal, present)) return PendingResult::Failed;
  if (!present) return PendingResult::NonePending;
  if (onlyIfDue && !detail::pendingIsDue(journal)) return PendingResult::NotDue;
  std::vector<std::string> lines;
  const bool ok = detail::recoverJournal(operation, lines, !offlineImage(), true);
  if (done) *done = lines;
  return ok ? PendingResult::Done : PendingResult::Failed;
}

}  // namespace KESP
