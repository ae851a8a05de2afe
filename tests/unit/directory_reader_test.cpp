// The reader of directories of small files answers as a read of each file
// does, with fewer calls, and closes only the descriptors it opened.

#include "files/directory_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "files/root_path.h"
#include "files/scoped_fd.h"
#include "test_support.h"

namespace {

using namespace KESP::detail;
using Status = DirectoryReader::Status;

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

// The test's own process table, not a path under the system root.
int openDescriptors() {
  DIR* listing = opendir("/proc/self/fd");
  if (!listing) return -1;
  int count = -3;  // ".", ".." and the listing's own
  while (readdir(listing)) ++count;
  closedir(listing);
  return count;
}

TEST(DirectoryReaderTest, AnswersAsAReadOfEachFile) {
  kesp_test::SystemRoot root;
  const std::string directory = root / "/etc/kesp.d";
  const size_t largest = 300000;
  root.write("/etc/kesp.d/small", "[kesp]\nname=eth0\n");
  root.write("/etc/kesp.d/page", std::string(4096, 'x'));
  root.write("/etc/kesp.d/long", std::string(200000, 'y'));
  root.write("/etc/kesp.d/huge", std::string(largest + 1, 'z'));
  root.write("/etc/kesp.d/grows", "[kesp]\n");
  ASSERT_EQ(symlink("/etc/kesp.d/small", (directory + "/link").c_str()), 0);
  ASSERT_EQ(mkfifo((directory + "/fifo").c_str(), 0600), 0);
  const struct {
    const char* name;
    unsigned char listed;  // the type the listing gave
    ReadResult result;
    Status status;         // asked after a read
  } cases[] = {
      {"small", DT_REG, ReadResult::Read, Status::Same},
      {"page", DT_REG, ReadResult::Read, Status::Same},
      {"long", DT_REG, ReadResult::Read, Status::Same},
      {"huge", DT_REG, ReadResult::NotRead, Status::Failed},
      {"link", DT_LNK, ReadResult::Read, Status::Same},  // followed inside the root
      {"fifo", DT_FIFO, ReadResult::NotRead, Status::Failed},
      // A listing out of date: the open does not wait for a writer, and the
      // status refuses what is no regular file.
      {"fifo", DT_REG, ReadResult::Read, Status::Failed},
      {"missing", DT_REG, ReadResult::NotOpened, Status::Failed},
      // Grown between the read and the status: read again whole.
      {"grows", DT_REG, ReadResult::Read, Status::ReadAgain},
  };
  Descriptor opened(openInRoot(directory, O_RDONLY | O_DIRECTORY));
  ASSERT_GE(opened.get(), 0);
  const int before = openDescriptors();
  ASSERT_GT(before, 0);
  Descriptor foreign;
  {
    DirectoryReader reader(opened.get(), directory, largest);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " listed as " + std::to_string(c.listed));
      std::string content;
      EXPECT_EQ(reader.read(c.name, c.listed, content), c.result);
      std::string expected;
      const bool readable =
          readFileInDirectory(opened.get(), directory, c.name, expected) == ReadResult::Read;
      if (c.result == ReadResult::Read && readable) {
        EXPECT_EQ(content, expected);
      }
      if (c.status == Status::ReadAgain) {
        // The same file, longer: not a new one renamed over it.
        Descriptor same(open((directory + "/grows").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
        ASSERT_EQ(write(same.get(), "name=eth1\n", 10), 10);
      }
      struct stat info;
      EXPECT_EQ(reader.status(info, content.size(), content), c.status);
      if (c.status == Status::ReadAgain) {
        EXPECT_EQ(content, "[kesp]\nname=eth1\n");
      }
    }
    // A descriptor another part of the program opens between two reads
    // sits among the reader's: it must survive the reader.
    std::string content;
    ASSERT_EQ(reader.read("small", DT_REG, content), ReadResult::Read);
    foreign.reset(open("/dev/null", O_RDONLY | O_CLOEXEC));
    for (int i = 0; i < 150; ++i) {
      ASSERT_EQ(reader.read(i % 2 ? "page" : "long", DT_REG, content), ReadResult::Read);
      // Kept for closing together, but never without bound.
      EXPECT_LE(openDescriptors(), before + 2 + DirectoryReader::kMostWaiting);
    }
  }
  EXPECT_TRUE(isOpen(foreign.get()));
  foreign.reset();
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
