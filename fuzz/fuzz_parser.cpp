// Pattern search over any text: the library's own patterns and short patterns
// made up by the fuzzer.
//
// Properties: the first match alone is the first of all matches; every group
// is a piece of the text; walking the matches visits each one once.

#include <fuzzer/FuzzedDataProvider.h>

#include <stdexcept>

#include "fuzz_support.h"
#include "kesp/parser.h"

using namespace KESP;

namespace {

// The proxy URL forms, plus patterns that match empty text, which the search
// has to step over.
const char* const kPatterns[] = {
    "^http://([^\\s:]*):([^\\s:@]*)@([^\\s@:]+):(\\d+)$",
    "^http://([^\\s:]+)@([^\\s@:]+):(\\d+)$",
    "^['\"]?http://([^:]+):(\\d+)$",
    "^['\"]?http://([^/]+)$",
    "^http://([^\\s:]*):([^\\s:@]*)@([^\\s@:/]+)$",
    "^http://([^\\s:]+)@([^\\s@:/]+)$",
    "^\\s*nameserver\\s+(\\S+)",
    "(\\w+)=(\"?)([^\"]*)\\2",
    "x*",
    "^",
    "$",
    "\\b",
    "(a)|(b)",
};

void checkSearch(const std::string& text, const std::string& pattern) {
  Parser all(text);
  Parser first(text);
  const bool foundAll = all.search(pattern, true);
  const bool foundFirst = first.search(pattern, false);
  KESP_FUZZ_CHECK(foundAll == foundFirst);
  KESP_FUZZ_CHECK(first.matchCount() == (foundFirst ? 1u : 0u));
  KESP_FUZZ_CHECK(all.matchCount() <= text.size() + 1);
  if (!foundAll) {
    KESP_FUZZ_CHECK(all.groupCount() == 0 && all.get(0).empty() && !all.next());
    return;
  }
  KESP_FUZZ_CHECK(first.groupCount() == all.groupCount());
  for (unsigned i = 0; i < first.groupCount(); ++i) KESP_FUZZ_CHECK(first.get(i) == all.get(i));
  unsigned visited = 1;
  do {
    for (unsigned i = 0; i < all.groupCount(); ++i)
      KESP_FUZZ_CHECK(text.find(all.get(i)) != std::string::npos);
    KESP_FUZZ_CHECK(all.get(all.groupCount()).empty());
  } while (all.next() && ++visited);
  KESP_FUZZ_CHECK(visited == all.matchCount());
  KESP_FUZZ_CHECK(!all.next());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kesp_fuzz::silenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool madeUp = input.ConsumeBool();
  const std::string pattern =
      madeUp ? input.ConsumeRandomLengthString(24) : std::string(input.PickValueInArray(kPatterns));
  const std::string text = input.ConsumeRemainingBytesAsString();
  try {
    checkSearch(text, pattern);
  } catch (const std::runtime_error&) {
    // A malformed made-up pattern, or one too costly to match: the regular
    // expression library's own refusal, never one of the library's patterns.
    KESP_FUZZ_CHECK(madeUp);
  }
  return 0;
}
