// Base64 decoding of any text, and encoding round trips: byte for byte what
// OpenSSL's filter gives, which stored values were once read with.

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"
#include "kesp/util.h"
#include "openssl_base64.h"

using namespace KESP;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kesp_fuzz::silenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::string decoded = "untouched";
  KESP_FUZZ_CHECK(decode(ENCODING_BASE64, text, decoded));
  // Three bytes for every four characters at most.
  KESP_FUZZ_CHECK(decoded.size() <= (text.size() / 4 + 1) * 3);
  KESP_FUZZ_CHECK(decoded == kesp_reference::opensslBase64Decode(text));

  std::string encoded;
  KESP_FUZZ_CHECK(encode(text, ENCODING_BASE64, encoded));
  KESP_FUZZ_CHECK(encoded.size() == (text.size() + 2) / 3 * 4);
  KESP_FUZZ_CHECK(encoded == kesp_reference::opensslBase64Encode(text));
  std::string back;
  KESP_FUZZ_CHECK(decode(ENCODING_BASE64, encoded, back));
  KESP_FUZZ_CHECK(back == text);

  std::string plain;
  KESP_FUZZ_CHECK(decode(ENCODING_PLAINTEXT, text, plain) && plain == text);
  std::string untouched = "untouched";
  KESP_FUZZ_CHECK(!decode("base32", text, untouched) && untouched == "untouched");
  return 0;
}
