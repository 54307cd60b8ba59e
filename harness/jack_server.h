// A jackd child process on the dummy driver, for the tests that need a real JACK server. It runs
// under a name of its own, so that it never meets the desktop's server, and is killed on
// destruction, and by the kernel if the test process dies. Once it takes clients it becomes the
// process's default server, so that libraries which name no server (RtAudio, RtMidi) meet it too. On the dummy driver the frame clock is exact.
//
// Several jackd servers starting and stopping at once disturb each other's clients through the
// shared-memory registry they all use, so every test that starts one holds CTest's "jackd"
// resource lock, and each server also holds a lock file in /tmp for its lifetime: test suites run
// from other build trees on the same machine wait for it rather than meet it. With only one at a
// time, every test server has the same name: JACK's registry holds eight servers and frees the
// entry of a killed one only for a server of the same name, so servers with names of their own
// would, once eight had been killed, keep any more from starting on that machine.
#pragma once

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

// Ends a child process: SIGTERM, then SIGKILL if it has not gone within three seconds.
inline void EndChildProcess(pid_t pid) {
  using namespace std::chrono_literals;
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  const auto end = std::chrono::steady_clock::now() + 3s;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return;
    }
    std::this_thread::sleep_for(10ms);
  }
}

// Probing a server that is still starting makes the JACK library complain on the console.
inline void IgnoreJackMessage(const char*) {}

class CTestJackServer {
 public:
  static constexpr const char* kName = "quembrel-test";

  CTestJackServer(int rate, int period) : rate(rate), period(period) {}
  ~CTestJackServer() {
    Kill();
    if (lockFile >= 0) close(lockFile);
  }
  CTestJackServer(const CTestJackServer&) = delete;
  CTestJackServer& operator=(const CTestJackServer&) = delete;

  // Empty when the server runs and takes clients, else why not.
  std::string Start() {
    using namespace std::chrono_literals;
    jack_set_error_function(&IgnoreJackMessage);
    jack_set_info_function(&IgnoreJackMessage);
    if (lockFile < 0) {
      lockFile = open("/tmp/quembrel-test-jackd.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
      if (lockFile < 0 || flock(lockFile, LOCK_EX) != 0) return "the JACK test lock file cannot be taken";
    }
    pid = fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int devNull = open("/dev/null", O_RDWR);
      if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
      }
      const std::string rateText = std::to_string(rate);
      const std::string periodText = std::to_string(period);
      // A client timeout of ten seconds: a loaded test machine must not get the clients thrown out.
      execlp("jackd", "jackd", "-n", name.c_str(), "--no-realtime", "-t", "10000", "-d", "dummy", "-r",
             rateText.c_str(), "-p", periodText.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return "jackd exited at start (status " + std::to_string(status) + ")";
      }
      jack_status_t jackStatus{};
      jack_client_t* probe = jack_client_open(
          "quembrel-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &jackStatus,
          name.c_str());
      if (probe) {
        jack_client_close(probe);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        return "";
      }
      std::this_thread::sleep_for(50ms);
    }
    return "jackd took no client within 10 s";
  }

  void Kill() {
    EndChildProcess(pid);
    pid = -1;
  }

  const std::string name = kName;
  const int rate;
  const int period;

 private:
  pid_t pid = -1;
  int lockFile = -1;
};
