// The network state document of `kesp_config_net apply`: any bytes as JSON,
// and whatever parses as a document.
//
// Properties: the reader either refuses with a place and a reason or gives a
// value; a document it accepts renders (as `export` prints it) into text that
// reads back without a problem and renders the same again.

#include <string>

#include "fuzz_support.h"
#include "json_reader.h"
#include "state_document.h"

using namespace kesp_config_net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  JsonValue value;
  std::string error;
  if (!parseJson(text, value, error)) {
    KESP_FUZZ_CHECK(error.compare(0, 5, "line ") == 0 && error.find(": ") != std::string::npos);
    return 0;
  }
  StateDocument document;
  if (!readStateDocument(value, document).empty()) return 0;
  const std::string rendered = renderStateDocument(document.state);
  JsonValue again;
  KESP_FUZZ_CHECK(parseJson(rendered, again, error));
  StateDocument reread;
  KESP_FUZZ_CHECK(readStateDocument(again, reread).empty());
  KESP_FUZZ_CHECK(renderStateDocument(reread.state) == rendered);
  return 0;
}
