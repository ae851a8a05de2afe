#include "files/draft.h"

#include <memory>

namespace KESP {
namespace detail {

namespace {

thread_local std::unique_ptr<DraftedFiles> t_draft;

}  // namespace

Draft::Draft() {
  if (t_draft) return;
  t_draft.reset(new DraftedFiles);
  outermost_ = true;
}

Draft::~Draft() {
  if (outermost_) t_draft.reset();
}

const DraftedFiles& Draft::files() const { return *t_draft; }

DraftedFiles* openDraft() { return t_draft.get(); }

}  // namespace detail
}  // namespace KESP
