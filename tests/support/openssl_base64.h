#pragma once
// The base64 coding that stored values were written and read with before the
// library did its own: OpenSSL's base64 filter without line breaks. Kept only
// to compare against, in the unit tests and a fuzz target.

#include <openssl/bio.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>

namespace kesp_reference {

inline std::string opensslBase64Encode(const std::string& data) {
  BIO* chain = BIO_push(BIO_new(BIO_f_base64()), BIO_new(BIO_s_mem()));
  BIO_set_flags(chain, BIO_FLAGS_BASE64_NO_NL);
  if (!data.empty()) BIO_write(chain, data.data(), static_cast<int>(data.size()));
  (void)BIO_flush(chain);
  char* buffer = nullptr;
  long length = BIO_get_mem_data(BIO_next(chain), &buffer);
  std::string out(buffer ? buffer : "", length > 0 ? static_cast<size_t>(length) : 0);
  BIO_free_all(chain);
  return out;
}

/// Reads up to the first NUL byte, in reads of 256 bytes, until the filter
/// gives nothing more.
inline std::string opensslBase64Decode(const std::string& data) {
  BIO* memory = BIO_new_mem_buf(data.data(), static_cast<int>(std::strlen(data.c_str())));
  BIO* chain = BIO_push(BIO_new(BIO_f_base64()), memory);
  BIO_set_flags(chain, BIO_FLAGS_BASE64_NO_NL);
  std::string out;
  char block[256];
  int n;
  while ((n = BIO_read(chain, block, sizeof block)) > 0) out.append(block, static_cast<size_t>(n));
  BIO_free_all(chain);
  return out;
}

}  // namespace kesp_reference
