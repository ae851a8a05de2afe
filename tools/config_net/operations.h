#pragma once
// The changes the tool makes, behind one interface: the dialogue and the
// commands decide what to change and report each outcome; an implementation
// decides how (the library on a live system or an offline image, or a fake in
// the tests of the dialogue).

#include <string>
#include <vector>

#include "interface_change.h"

namespace kesp_config_net {

/// How one change went, with what the library logged while making it.
struct Outcome {
  bool ok = false;
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  /// Something the operator should know beyond success or failure.
  std::string note;
  /// A file the change needed but could not write, although the library
  /// counted the change done (a package manager's copy of the proxy).
  std::string unwrittenFile;
};

/// The proxy to store; an empty host removes it. Without passwordGiven the
/// password already stored is kept.
struct ProxyRequest {
  std::string host;
  std::string port;
  std::string user;
  std::string password;
  bool passwordGiven = false;
};

class Operations {
 public:
  virtual ~Operations() = default;
  /// True on a live system, false on an offline image (files only).
  virtual bool live() const = 0;
  /// Applies the change: the library's transaction on a live system, only
  /// the files on an offline image. An interface without a configuration of
  /// its own (Red Hat, SUSE) is given one first, removed again on failure.
  virtual Outcome changeInterface(const InterfaceChange& change) = 0;
  /// Writes the name servers, to the pending file for the next change when
  /// pending is set.
  virtual Outcome setNameServers(const std::vector<std::string>& servers, bool pending) = 0;
  /// Removes a pending name-server file that a failed change left behind, so
  /// that it cannot surprise a later change. True when there was one.
  virtual bool withdrawPendingNameServers() = 0;
  virtual Outcome setHostName(const std::string& name) = 0;
  virtual Outcome setProxy(const ProxyRequest& proxy) = 0;
  /// KESP::move with a MoveOperation.
  virtual Outcome moveConfiguration(int operation, const std::string& first,
                                    const std::string& second) = 0;
  /// The diagnosis of iface as people read it (renderVerdictText); empty
  /// where nothing can be judged (an offline image).
  virtual std::string verdictOf(const std::string& iface) {
    (void)iface;
    return std::string();
  }
};

class LogCollector;

/// The library's operations, reasons taken from the collected log.
class LibraryOperations : public Operations {
 public:
  LibraryOperations(bool live, const LogCollector& log) : live_(live), log_(log) {}
  bool live() const override { return live_; }
  Outcome changeInterface(const InterfaceChange& change) override;
  Outcome setNameServers(const std::vector<std::string>& servers, bool pending) override;
  bool withdrawPendingNameServers() override;
  Outcome setHostName(const std::string& name) override;
  Outcome setProxy(const ProxyRequest& proxy) override;
  Outcome moveConfiguration(int operation, const std::string& first,
                            const std::string& second) override;
  std::string verdictOf(const std::string& iface) override;

 private:
  bool live_;
  const LogCollector& log_;
};

}  // namespace kesp_config_net
