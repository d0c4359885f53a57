// Real network peers for tests, each on its own loopback address: net-snmp's agent with a helper
// that serves the reply object, and LPRng's lpd with a queue "lp1". A peer that cannot start
// here says why; tests then skip with that reason. Every peer is stopped (and its process
// waited for) when the object goes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavi::test {

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A child process in a process group of its own, stdout and stderr to a log file.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::vector<std::string>& argv, const std::string& log_path,
             const std::vector<std::string>& extra_env = {});
  // True while the process has not ended (reaps it if it has).
  bool Running();
  // SIGTERM to the group, then waits for the PID (SIGKILL after 3 s).
  void Stop();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFileText(const std::string& path);

class SnmpdPeer {
 public:
  // `family_objects` false: a plain agent of another maker, without the family's objects.
  SnmpdPeer(std::string address, std::uint16_t port, bool family_objects = true);
  // Starts the agent and waits until it answers (at most 5 s).
  bool Start(std::string& why);
  void Stop();
  // The OCTET STRING the reply object returns from now on (any bytes).
  void SetReply(std::string_view bytes);
  // The values of the SetRequests of the restart object the agent took, e.g. "integer 10".
  std::vector<std::string> RestartSets() const;
  const std::string& log_path() const { return log_; }

 private:
  std::string address_;
  std::uint16_t port_;
  bool family_objects_;
  TempDir dir_;
  std::string log_;
  ChildProcess process_;
};

class LprngPeer {
 public:
  LprngPeer(std::string address, std::uint16_t port);
  // Unpacks LPRng (cached under the build tree) and starts lpd in a private mount namespace;
  // waits until it listens (at most 5 s).
  bool Start(std::string& why);
  void Stop();
  // The bytes of the data file in the queue's spool ("x" files overwrite each other, so this is
  // the last one received), with the number of data files found.
  std::string SpooledData(int* files = nullptr) const;
  const std::string& log_path() const { return log_; }

 private:
  std::string address_;
  std::uint16_t port_;
  TempDir dir_;
  std::string log_;
  ChildProcess process_;
};

}  // namespace tavi::test
