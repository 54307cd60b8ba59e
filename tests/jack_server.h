// A jackd child process on the dummy driver, under a server name of its own so that it meets no
// other server on the machine, for the tests that need a real JACK server. Killed on destruction,
// and by the kernel if the test process dies.
#pragma once

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

class CTestJackServer {
 public:
  CTestJackServer(std::string name, int frames) : name(std::move(name)), frames(frames) {}
  ~CTestJackServer() { Kill(); }
  CTestJackServer(const CTestJackServer&) = delete;
  CTestJackServer& operator=(const CTestJackServer&) = delete;

  // Empty when the server runs and takes clients, else why not.
  std::string Start() {
    using namespace std::chrono_literals;
    jack_set_error_function(&IgnoreMessage);
    jack_set_info_function(&IgnoreMessage);
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
      const std::string period = std::to_string(frames);
      execlp("jackd", "jackd", "-n", name.c_str(), "--no-realtime", "-d", "dummy", "-r", "44100", "-p",
             period.c_str(), static_cast<char*>(nullptr));
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
        return "";
      }
      std::this_thread::sleep_for(50ms);
    }
    return "jackd took no client within 10 s";
  }

  void Kill() {
    using namespace std::chrono_literals;
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + 3s;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(10ms);
    }
    pid = -1;
  }

  const std::string name;

 private:
  // Probing a server that is still starting makes the JACK library complain on the console.
  static void IgnoreMessage(const char*) {}

  const int frames;
  pid_t pid = -1;
};
