// The XML property file: loading any file content, and changes written back.
//
// Properties: every indexed name reads its value; a value set and saved reads
// back the same after a fresh load, next to every other property; a new file
// created under any accepted root name loads.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "files/file_write.h"
#include "fuzz_support.h"
#include "kesp/config.h"

using namespace KESP;

namespace {

std::string g_directory;

void removeDirectory() {
  unlink((g_directory + "/kesp.xml").c_str());
  unlink((g_directory + "/new.xml").c_str());
  rmdir(g_directory.c_str());
}

/// Attribute text that XML can carry: no NUL, and no control character other
/// than tab, line feed and carriage return.
bool isXmlText(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
  }
  return true;
}

void checkLoaded(configfile& file, const std::string& path, const std::string& name,
                 const std::string& value) {
  std::map<std::string, std::string> before;
  file.getAll(before);
  for (const auto& entry : before) {
    std::string found;
    KESP_FUZZ_CHECK(file.get(entry.first, found) && found == entry.second);
  }
  if (!isXmlText(name) || !isXmlText(value)) return;
  KESP_FUZZ_CHECK(file.set(name, value));
  if (!file.save()) return;

  configfile again(path);
  KESP_FUZZ_CHECK(again.load());
  std::map<std::string, std::string> after;
  again.getAll(after);
  before[name] = value;
  KESP_FUZZ_CHECK(after == before);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kesp_fuzz::silenceLog();
  // Every run writes the file with fsync: memory-backed storage keeps that cheap.
  const char* base = std::getenv("KESP_FUZZ_TMPDIR");
  if (!base || !*base) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string pattern = std::string(base) + "/kesp-fuzz-xml.XXXXXX";
  if (!mkdtemp(&pattern[0])) std::abort();
  g_directory = pattern;
  std::atexit(removeDirectory);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string rootName = input.ConsumeRandomLengthString(16);
  const std::string name = input.ConsumeRandomLengthString(16);
  const std::string value = input.ConsumeRandomLengthString(32);
  const std::string content = input.ConsumeRemainingBytesAsString();

  const std::string path = g_directory + "/kesp.xml";
  KESP_FUZZ_CHECK(detail::replaceFile(path, content));
  configfile file(path);
  if (file.load()) checkLoaded(file, path, name, value);

  Config config;
  const std::string fresh = g_directory + "/new.xml";
  if (config.addNewFile(fresh, rootName)) {
    configfile created(fresh);
    KESP_FUZZ_CHECK(created.load());
  }
  return 0;
}
