// Base64 without line breaks, and the case helpers.
//
// Decoding reproduces, byte for byte, what the values stored by earlier
// versions were read with, bad input included, so that a stored value reads
// the same after an upgrade: the text is judged in blocks of 1,024
// characters; in each block only whole groups of four count (a shorter tail
// at the end is dropped), blanks before and fillers after them are ignored,
// "=" reads as six zero bits and shortens the output only at the block's end,
// and the first block holding anything else, or nothing but blanks, ends the
// output there.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "kesp/util.h"

namespace KESP {

const std::string ENCODING_BASE64 = "base64";
const std::string ENCODING_PLAINTEXT = "plaintext";

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const size_t kDecodeBlock = 1024;

// What a character is to the decoder, besides one of the 64 digits.
const uint8_t kBlank = 0xE0;     // space, tab: skipped before a block
const uint8_t kLineEnd = 0xF0;   // "\n"
const uint8_t kReturn = 0xF1;    // "\r"
const uint8_t kEndMark = 0xF2;   // "-"
const uint8_t kInvalid = 0xFF;

uint8_t classify(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0' + 52);
  switch (c) {
    case '+': return 62;
    case '/': return 63;
    case '=': return 0;
    case ' ':
    case '\t': return kBlank;
    case '\n': return kLineEnd;
    case '\r': return kReturn;
    case '-': return kEndMark;
    default: return kInvalid;
  }
}

/// Blanks, line ends and end marks: ignored after the last group of a block.
bool isFiller(uint8_t value) {
  return value == kBlank || value == kLineEnd || value == kReturn || value == kEndMark;
}

/// Appends the bytes of one block of whole groups; false, appending nothing,
/// when the block holds anything but digits and padding between its leading
/// blanks and trailing fillers, or yields no byte at all: either ends the
/// output.
bool decodeBlock(const char* const block, const size_t blockSize, std::string& out) {
  const char* text = block;
  size_t size = blockSize;
  while (size > 0 && classify(static_cast<unsigned char>(*text)) == kBlank) {
    ++text;
    --size;
  }
  while (size > 3 && isFiller(classify(static_cast<unsigned char>(text[size - 1])))) --size;
  if (size % 4 != 0) return false;
  std::string bytes;
  bytes.reserve(size / 4 * 3);
  for (size_t i = 0; i < size; i += 4) {
    uint32_t group = 0;
    for (size_t j = 0; j < 4; ++j) {
      uint8_t value = classify(static_cast<unsigned char>(text[i + j]));
      if (value & 0x80) return false;
      group = group << 6 | value;
    }
    bytes += static_cast<char>(group >> 16);
    bytes += static_cast<char>(group >> 8 & 0xFF);
    bytes += static_cast<char>(group & 0xFF);
  }
  // Padding counts where the block's raw text ends, fillers or not.
  size_t drop = 0;
  if (blockSize > 2 && block[blockSize - 1] == '=') drop = block[blockSize - 2] == '=' ? 2 : 1;
  if (drop >= bytes.size()) return false;
  bytes.resize(bytes.size() - drop);
  out += bytes;
  return true;
}

void decodeBase64(const std::string& data, std::string& out) {
  out.clear();
  // The data is text: it ends at its first NUL byte.
  const size_t length = std::strlen(data.c_str());
  for (size_t start = 0; start < length; start += kDecodeBlock) {
    const size_t block = std::min(kDecodeBlock, length - start);
    const size_t whole = block & ~static_cast<size_t>(3);
    if (!decodeBlock(data.data() + start, whole, out)) return;
  }
}

}  // namespace

bool encode(const std::string& data, const std::string& name, std::string& out) {
  if (name != ENCODING_BASE64) return false;
  out.clear();
  out.reserve((data.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << 16 |
                     static_cast<uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8 |
                     static_cast<unsigned char>(data[i + 2]);
    out += kAlphabet[group >> 18];
    out += kAlphabet[group >> 12 & 63];
    out += kAlphabet[group >> 6 & 63];
    out += kAlphabet[group & 63];
  }
  const size_t rest = data.size() - i;
  if (rest > 0) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << 16;
    if (rest == 2) group |= static_cast<uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8;
    out += kAlphabet[group >> 18];
    out += kAlphabet[group >> 12 & 63];
    out += rest == 2 ? kAlphabet[group >> 6 & 63] : '=';
    out += '=';
  }
  return true;
}

bool decode(const std::string& name, const std::string& data, std::string& out) {
  if (name == ENCODING_BASE64) {
    decodeBase64(data, out);
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
