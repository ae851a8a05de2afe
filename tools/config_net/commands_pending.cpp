// confirm and revert: the end of a change kept pending with --confirm-within.

#include <ostream>

#include "commands.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "log_collector.h"
#include "revert_runner.h"
#include "translate.h"

namespace kesp_config_net {

int runConfirm(CommandContext& context) {
  const size_t mark = context.log.mark();
  switch (KESP::confirmPendingChange()) {
    case KESP::PendingResult::Done:
      context.out << tr("the pending change is kept") << "\n";
      return EXIT_OK;
    case KESP::PendingResult::NonePending:
      return reportFailure(context.err, tr("no change is pending"), {});
    default:
      return reportFailure(context.err, tr("the pending change was not kept"),
                           messagesAtLeast(context.log.linesSince(mark), KESP::LOG_ERROR));
  }
}

int runRevert(CommandContext& context) {
  const Invocation& invocation = context.invocation;
  const bool ifDue = invocation.has("if-due") || invocation.has("at");
  if (invocation.has("at")) {
    const std::string at = invocation.option("at");
    if (at.empty() || at.size() > 18 || at.find_first_not_of("0123456789") != std::string::npos)
      return reportUsage(context.err, "revert", tr("--at needs a time in seconds since 1970"));
    sleepUntil(std::stoll(at));
  }
  const size_t mark = context.log.mark();
  std::vector<std::string> done;
  switch (KESP::revertPendingChange(ifDue, &done)) {
    case KESP::PendingResult::Done:
      for (const std::string& line : done) context.out << line << "\n";
      context.out << tr("the change was put back") << "\n";
      return EXIT_OK;
    case KESP::PendingResult::NotDue:
      return EXIT_OK;
    case KESP::PendingResult::NonePending:
      if (ifDue) return EXIT_OK;
      return reportFailure(context.err, tr("no change is pending"), {});
    default:
      return reportFailure(context.err, tr("the change could not be put back"),
                           messagesAtLeast(context.log.linesSince(mark), KESP::LOG_ERROR));
  }
}

}  // namespace kesp_config_net
