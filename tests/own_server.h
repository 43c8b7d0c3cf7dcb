// A private sound server of a test's own (scripts/sound-server.sh in a
// folder of its own), stopped when the object goes: the live tests can
// freeze, kill or suspend it without disturbing any other test.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace testsupport {

class OwnServer {
 public:
  /// Starts a server of `kind` ("pulseaudio" or "pipewire"); why() says
  /// whether it runs.
  explicit OwnServer(const std::string& kind = "pulseaudio") {
    int status = -1;
    const std::string started = RunCommand("bash " + Script() + " start " + kind + " " + Dir() + " 2>&1", &status);
    if (status != 0) {
      why_ = started.empty() ? "the server did not start" : started;
      return;
    }
    std::ifstream file(Dir() + "/env");
    for (std::string line; std::getline(file, line);) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) env_[line.substr(0, eq)] = line.substr(eq + 1);
    }
    std::istringstream pids(env_["TAPEWELL_SERVER_PIDS"]);
    for (pid_t pid; pids >> pid;) pids_.push_back(pid);
    if (env_["PULSE_SERVER"].empty() || pids_.empty()) why_ = "the server script told no server or process";
  }
  ~OwnServer() {
    Signal(SIGCONT);
    RunCommand("bash " + Script() + " stop " + Dir() + " 2>&1");
  }
  OwnServer(const OwnServer&) = delete;
  OwnServer& operator=(const OwnServer&) = delete;

  /// Empty when the server runs, else why not.
  const std::string& why() const { return why_; }
  /// The environment that makes a client use this server.
  std::map<std::string, std::string> ClientEnv() const { return {{"PULSE_SERVER", env_.at("PULSE_SERVER")}}; }
  /// pactl with this server.
  std::string Pactl(const std::string& args, int* status = nullptr) const {
    return RunCommand("PULSE_SERVER=" + env_.at("PULSE_SERVER") + " pactl " + args + " 2>&1", status);
  }
  /// Sends `signal` to every process of the server.
  void Signal(int signal) const {
    for (pid_t pid : pids_) {
      if (pid > 0) kill(pid, signal);
    }
  }

 private:
  static std::string Script() { return TAPEWELL_SOURCE_DIR "/scripts/sound-server.sh"; }
  std::string Dir() const { return dir_.path() + "/s"; }
  TempDir dir_;
  std::string why_;
  std::map<std::string, std::string> env_;
  std::vector<pid_t> pids_;
};

}  // namespace testsupport
