// Hostile image trees: links that climb out of the system root, files that are
// not regular, and a umask that would make new files writable by all. Every
// case runs with the kernel's resolver and with our own.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "change/change_scope.h"
#include "files/draft.h"
#include "files/file_write.h"
#include "kesp/network.h"
#include "kesp/proxy.h"
#include "kesp/util.h"
#include "files/root_path.h"
#include "files/scoped_fd.h"
#include "test_support.h"
#include "files/text_lines.h"

using namespace KESP;
using kesp_test::LogCapture;
using kesp_test::SystemRoot;
using kesp_test::TempDir;

namespace {

const detail::RootResolver kResolvers[] = {detail::RootResolver::Kernel,
                                           detail::RootResolver::Own};

class ResolverChoice {
 public:
  explicit ResolverChoice(detail::RootResolver resolver) { detail::setRootResolver(resolver); }
  ~ResolverChoice() { detail::setRootResolver(detail::RootResolver::Kernel); }
};

const char* const kSystemFiles[] = {"/etc/network/interfaces", "/etc/resolv.conf",
                                    "/etc/environment",
                                    "/etc/sysconfig/network-scripts/ifcfg-eth0"};

/// "../" enough times to climb from the file's directory to the root and past it.
std::string climb(const std::string& systemPath, int extra) {
  std::string up;
  int depth = static_cast<int>(std::count(systemPath.begin(), systemPath.end(), '/')) - 1;
  for (int i = 0; i < depth + extra; ++i) up += "../";
  return up;
}

struct Stamp {
  std::string content;
  struct timespec modified;
};
Stamp stampOf(const std::string& path) {
  struct stat info;
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return Stamp{kesp_test::readFile(path), info.st_mtim};
}
void expectUnchanged(const Stamp& before, const std::string& path) {
  const Stamp after = stampOf(path);
  EXPECT_EQ(after.content, before.content) << path;
  EXPECT_EQ(after.modified.tv_sec, before.modified.tv_sec) << path;
  EXPECT_EQ(after.modified.tv_nsec, before.modified.tv_nsec) << path;
}

bool isLink(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

enum class Expect { InsideTarget, NothingOutside, Refused };

struct LinkCase {
  const char* label;
  bool onDirectory;  // the link replaces the file's directory, not the file
  std::function<std::string(const std::string& systemPath, const std::string& outside)> target;
  Expect expect;
};

}  // namespace

TEST(RootContainment, LinksResolveInsideTheRootOrAreRefused) {
  const LinkCase cases[] = {
      {"absolute inside", false, [](const std::string&, const std::string&) { return "/srv/real"; },
       Expect::InsideTarget},
      {"relative inside", false,
       [](const std::string& p, const std::string&) { return climb(p, 0) + "srv/real"; },
       Expect::InsideTarget},
      {"relative inside, climbing past the root", false,
       [](const std::string& p, const std::string&) { return climb(p, 5) + "srv/real"; },
       Expect::InsideTarget},
      {"absolute escaping", false,
       [](const std::string&, const std::string& out) { return out + "/victim"; },
       Expect::NothingOutside},
      {"relative escaping", false,
       [](const std::string& p, const std::string& out) { return climb(p, 30) + out.substr(1) + "/victim"; },
       Expect::NothingOutside},
      {"directory escaping", true,
       [](const std::string&, const std::string& out) { return out; }, Expect::NothingOutside},
      {"loop", false, [](const std::string& p, const std::string&) { return p; }, Expect::Refused},
  };
  for (detail::RootResolver resolver : kResolvers) {
    ResolverChoice choice(resolver);
    for (const LinkCase& c : cases) {
      for (const char* file : kSystemFiles) {
        SCOPED_TRACE(std::string(resolver == detail::RootResolver::Kernel ? "kernel: " : "own: ") +
                     c.label + ": " + file);
        SystemRoot root;
        TempDir outside;
        const std::string name = std::string(file).substr(std::string(file).rfind('/') + 1);
        kesp_test::writeFile(outside / "victim", "host\n");
        kesp_test::writeFile(outside / name, "host\n");
        kesp_test::writeFile(root / "/srv/real", "image\n");
        const Stamp victim = stampOf(outside / "victim");
        const Stamp sameName = stampOf(outside / name);
        std::string link = root / file;
        if (c.onDirectory) link = link.substr(0, link.rfind('/'));
        kesp_test::makeDirs(link.substr(0, link.rfind('/')));
        const std::string target = c.target(file, outside.path());
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;

        LogCapture log;
        TextFile text;
        const bool loaded = text.load(root / file);
        EXPECT_NE(detail::joinLines(text.lines), "host\n");
        // By name through the open directory, as directories of profiles are read.
        if (!c.onDirectory) {
          const std::string directory = link.substr(0, link.rfind('/'));
          detail::Descriptor opened(detail::openInRoot(directory, O_RDONLY | O_DIRECTORY));
          std::string byName;
          EXPECT_EQ(opened.get() >= 0 && detail::readFileInDirectory(opened.get(), directory, name,
                                                                     byName) == detail::ReadResult::Read,
                    loaded);
          if (loaded) {
            EXPECT_EQ(byName, "image\n");
          }
        }
        text.lines = {"changed"};
        const bool saved = text.save(root / file);

        expectUnchanged(victim, outside / "victim");
        expectUnchanged(sameName, outside / name);
        switch (c.expect) {
          case Expect::InsideTarget:
            EXPECT_TRUE(loaded && saved);
            EXPECT_EQ(kesp_test::readFile(root / "/srv/real"), "changed\n");
            EXPECT_TRUE(isLink(link));
            break;
          case Expect::NothingOutside:
            // Taken inside the root, where the target's directory is missing.
            EXPECT_FALSE(loaded || saved);
            break;
          case Expect::Refused:
            EXPECT_FALSE(loaded || saved);
            EXPECT_TRUE(log.contains("Refusing " + root / file)) << log.text();
            EXPECT_TRUE(isLink(link));
            break;
        }
      }
    }
  }
}

TEST(RootContainment, SpecialFilesAreRefusedAtOnce) {
  struct SpecialCase {
    const char* label;
    std::function<int(const std::string& path)> make;
  } cases[] = {
      {"FIFO", [](const std::string& p) { return mkfifo(p.c_str(), 0644); }},
      {"directory", [](const std::string& p) { return mkdir(p.c_str(), 0755); }},
      {"device", [](const std::string& p) { return mknod(p.c_str(), S_IFCHR | 0644, makedev(1, 5)); }},
      {"socket",
       [](const std::string& p) {
         int fd = socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         p.copy(address.sun_path, sizeof address.sun_path - 1);
         int result = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
         close(fd);
         return result;
       }},
  };
  for (detail::RootResolver resolver : kResolvers) {
    ResolverChoice choice(resolver);
    for (const SpecialCase& c : cases) {
      SCOPED_TRACE(std::string(c.label) +
                   (resolver == detail::RootResolver::Kernel ? " (kernel)" : " (own)"));
      SystemRoot root;
      kesp_test::makeDirs(root / "/etc/network");
      // Reached through a link too: the check applies to what the link names.
      ASSERT_EQ(c.make(root / "/etc/network/special"), 0);
      ASSERT_EQ(symlink("/etc/network/special", (root / "/etc/network/interfaces").c_str()), 0);
      for (const char* file : {"/etc/network/special", "/etc/network/interfaces"}) {
        LogCapture log;
        std::string content;
        EXPECT_FALSE(detail::readWholeFile(root / file, content));
        EXPECT_FALSE(detail::replaceFile(root / file, "changed\n"));
        EXPECT_TRUE(log.contains("Refusing " + root / file)) << log.text();
        detail::Descriptor directory(detail::openInRoot(root / "/etc/network", O_RDONLY | O_DIRECTORY));
        // By name through the open directory: refused too, and without blocking.
        EXPECT_NE(detail::readFileInDirectory(directory.get(), root / "/etc/network",
                                              std::string(file).substr(13), content),
                  detail::ReadResult::Read);
      }
      struct stat info;
      ASSERT_EQ(lstat((root / "/etc/network/special").c_str(), &info), 0);
      EXPECT_FALSE(S_ISREG(info.st_mode));
    }
  }
}

TEST(RootContainment, NewFilesGetTheirModeWhateverTheUmask) {
  const mode_t oldMask = umask(0);
  struct ModeCase {
    const char* family;  // the directory that makes the family
    const char* file;
    unsigned mode;
  } cases[] = {
      {"/etc/network", "/etc/environment", 0644},
      {"/etc/network", "/etc/apt/apt.conf.d/99proxy", 0600},
      {"/etc/sysconfig/network-scripts", "/etc/yum.conf", 0600},
      {"/etc/sysconfig/network", "/etc/sysconfig/proxy", 0644},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.file);
    SystemRoot root;
    kesp_test::makeDirs(root / c.family);
    kesp_test::makeDirs(root / "/etc/apt/apt.conf.d");
    EXPECT_TRUE(setProxy("proxy.example.org", "3128", "kesp.user", "secret"));
    struct stat info;
    ASSERT_EQ(stat((root / c.file).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.mode);
  }
  {
    // Staged name servers and an existing file's own mode.
    SystemRoot root;
    kesp_test::writeFile(root / "/etc/resolv.conf", "nameserver 192.0.2.1\n", 0640);
    EXPECT_TRUE(setDnsServers({"192.0.2.53"}, true));
    EXPECT_TRUE(setDnsServers({"192.0.2.54"}, false));
    struct stat info;
    ASSERT_EQ(stat((root / RESOLV_CONF_PENDING).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    ASSERT_EQ(stat((root / "/etc/resolv.conf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
  }
  {
    // Directories too: daemons that drop root must read them.
    umask(077);
    SystemRoot root;
    ASSERT_TRUE(detail::makeDirectoriesForWrite(root / "/etc/systemd/resolved.conf.d"));
    for (const char* made : {"/etc", "/etc/systemd", "/etc/systemd/resolved.conf.d"}) {
      struct stat info;
      ASSERT_EQ(stat((root / made).c_str(), &info), 0) << made;
      EXPECT_EQ(info.st_mode & 07777, 0755u) << made;
    }
  }
  umask(oldMask);
}

// Planning reads what it drafted: a listing shows the files a draft makes
// (in a directory it would make, too) and not those it removes.
TEST(RootContainment, ListingsInADraftSeeWhatItWouldLeave) {
  SystemRoot root;
  kesp_test::writeFile(root / "/etc/netplan/00-installer.yaml", "network: {}\n");
  kesp_test::writeFile(root / "/etc/netplan/10-old.yaml", "network: {}\n");
  auto listed = [&](const std::string& directory) {
    std::vector<std::string> names;
    if (!detail::listDirectoryInRoot(root / directory, names)) return std::string("(none)");
    std::vector<std::string> viaOpen;
    detail::Descriptor fd(detail::openInRoot(root / directory, O_RDONLY | O_DIRECTORY));
    if (fd.get() >= 0)
      detail::forEachListedEntry(fd.get(), root / directory, [&](const char* name, unsigned char) {
        viaOpen.push_back(name);
        return true;
      });
    std::sort(names.begin(), names.end());
    std::sort(viaOpen.begin(), viaOpen.end());
    std::string text;
    for (const std::string& name : names) text += name + " ";
    // The open directory's listing agrees, where there is a directory to open.
    if (fd.get() >= 0 && viaOpen != names) text += "(differs)";
    return text;
  };
  {
    detail::Draft draft;
    ASSERT_TRUE(detail::replaceFile(root / "/etc/netplan/90-kesp.yaml", "network: {}\n"));
    ASSERT_TRUE(detail::removeFile(root / "/etc/netplan/10-old.yaml"));
    ASSERT_TRUE(detail::replaceFile(root / "/etc/systemd/resolved.conf.d/90-kesp.conf", "[Resolve]\n"));
    EXPECT_EQ(listed("/etc/netplan"), "00-installer.yaml 90-kesp.yaml ");
    EXPECT_EQ(listed("/etc/systemd/resolved.conf.d"), "90-kesp.conf ");
  }
  EXPECT_EQ(listed("/etc/netplan"), "00-installer.yaml 10-old.yaml ");
  EXPECT_EQ(listed("/etc/systemd/resolved.conf.d"), "(none)");
}
