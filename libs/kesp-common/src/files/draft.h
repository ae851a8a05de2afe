#pragma once
// A change drafted in memory. While a Draft is open on a thread, the one
// writer and removeFile record what they would do instead of doing it, the
// reading of whole files sees what was recorded, and change scopes take no
// lock and write no journal. Running the writing operations inside a draft
// therefore tells exactly which files they would change and how, touching
// nothing.

#include <sys/types.h>

#include <map>
#include <string>

namespace KESP {
namespace detail {

struct DraftedFile {
  bool removed = false;
  std::string content;
  mode_t newFileMode = 0644;  ///< what a file made anew would get
};

/// Paths as the writer was given them (system root included).
using DraftedFiles = std::map<std::string, DraftedFile>;

class Draft {
 public:
  /// Opens the thread's draft; drafts do not nest (an inner one shares it).
  Draft();
  Draft(const Draft&) = delete;
  Draft& operator=(const Draft&) = delete;
  ~Draft();

  const DraftedFiles& files() const;

 private:
  bool outermost_ = false;
};

/// The open draft's files, or null when none is open.
DraftedFiles* openDraft();

}  // namespace detail
}  // namespace KESP
