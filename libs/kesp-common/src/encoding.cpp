#include <openssl/bio.h>
#include <openssl/evp.h>

#include <cctype>
#include <cstring>

#include "kesp/util.h"

namespace KESP {

const std::string ENCODING_BASE64 = "base64";
const std::string ENCODING_PLAINTEXT = "plaintext";

bool encode(const std::string& data, const std::string& name, std::string& out) {
  if (name != ENCODING_BASE64) return false;
  BIO* base64 = BIO_new(BIO_f_base64());
  BIO* memory = BIO_new(BIO_s_mem());
  if (!base64 || !memory) {
    BIO_free(base64);
    BIO_free(memory);
    return false;
  }
  BIO_set_flags(base64, BIO_FLAGS_BASE64_NO_NL);
  BIO* chain = BIO_push(base64, memory);
  bool written = true;
  size_t offset = 0;
  while (offset < data.size()) {
    int n = BIO_write(chain, data.data() + offset, static_cast<int>(data.size() - offset));
    if (n <= 0) {
      written = false;
      break;
    }
    offset += static_cast<size_t>(n);
  }
  (void)BIO_flush(chain);
  char* buffer = nullptr;
  long length = BIO_get_mem_data(memory, &buffer);
  if (written && length > 0)
    out.assign(buffer, static_cast<size_t>(length));
  else
    out.clear();
  BIO_free_all(chain);
  return written;
}

bool decode(const std::string& name, const std::string& data, std::string& out) {
  if (name == ENCODING_BASE64) {
    // The data is text: it ends at its first NUL byte.
    size_t length = std::strlen(data.c_str());
    BIO* base64 = BIO_new(BIO_f_base64());
    BIO* memory = BIO_new_mem_buf(data.data(), static_cast<int>(length));
    if (!base64 || !memory) {
      BIO_free(base64);
      BIO_free(memory);
      return false;
    }
    BIO_set_flags(base64, BIO_FLAGS_BASE64_NO_NL);
    BIO* chain = BIO_push(base64, memory);
    out.clear();
    char block[256];
    int n;
    while ((n = BIO_read(chain, block, sizeof block)) > 0) out.append(block, static_cast<size_t>(n));
    BIO_free_all(chain);
    return true;
  }
  if (name == ENCODING_PLAINTEXT) {
    out = data;
    return true;
  }
  return false;
}

std::string to_lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string to_upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace KESP
