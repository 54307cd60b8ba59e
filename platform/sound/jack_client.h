// The program's client on a JACK server, "Quembrel", with the audio output port "outport 0" that
// both sound outputs play through. The outputs take turns at it: the one playing is the client's
// player, whose process function the server calls every cycle; while none plays the port plays
// silence. Switching outputs hands the client over between two cycles, so the port, its
// connections and the client's place in the server's graph stay, and at most one period is
// silent. The client is activated when a player first plays and then connected to the first two
// physical playback ports (both ears, or the one port a machine with a single output has), unless
// QUEMBREL_NO_AUTOCONNECT is set to anything but empty or 0 for a patchbay that connects by itself.
//
// Each output holds the client while it is open; the first Hold opens it and the last Release
// closes it. Hold, Release, Play and Pause belong to control threads, one at a time per output; the
// server's callbacks take no lock and never wait.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

struct _jack_client;
struct _jack_port;

class CJackClient {
 public:
  static constexpr const char* kClientName = "Quembrel";
  static constexpr const char* kAudioPortName = "outport 0";
  static constexpr const char* kNoAutoConnectVariable = "QUEMBREL_NO_AUTOCONNECT";
  static constexpr int kPlaybackPorts = 2;

  // What the client calls while a player plays, on the server's thread: `process` with the cycle's
  // frames, and the flags the client sets for it when the server drops the client (`lost`) or
  // changes its period (`period`, may be null).
  struct Player {
    void (*process)(std::uint32_t frames, void* arg);
    void* arg;
    std::atomic<bool>* lost;
    std::atomic<int>* period;
  };

  CJackClient() = default;
  ~CJackClient();
  CJackClient(const CJackClient&) = delete;
  CJackClient& operator=(const CJackClient&) = delete;

  // Opens the client, or joins it while another output holds it open; false when no server is
  // there or it refuses the port (then with the reason in `failure`, also said on standard error),
  // or when the client held open has lost its server and another output still holds it.
  bool Hold(std::string* failure);
  // Lets go of a Hold; the last one closes the client.
  void Release();

  // Makes `player` the one the server calls, activating the client the first time. False when the
  // server is gone, the client cannot be activated, or another player plays.
  bool Play(const Player* player);
  // Ends `player`'s turn; returns once its process function no longer runs and cannot run again.
  void Pause(const Player* player);

  // The client and port, for the calls a player makes itself; null while not held.
  _jack_client* Handle() const { return client; }
  _jack_port* AudioPort() const { return audioPort; }
  // False when another program held the name and the server gave the client a numbered one.
  bool HasOwnName() const { return ownName; }
  int Rate() const { return rate; }
  int PeriodFrames() const { return period.load(std::memory_order_relaxed); }
  bool IsLost() const { return lost.load(std::memory_order_acquire); }

  static bool AutoConnectWanted();

 private:
  static int Process(std::uint32_t frames, void* self);
  static int BufferSize(std::uint32_t frames, void* self);
  static void Shutdown(void* self);
  void Close();
  void ConnectPlayback();

  std::mutex holdLock;
  int holders = 0;
  _jack_client* client = nullptr;
  _jack_port* audioPort = nullptr;
  bool ownName = false;
  bool active = false;
  int rate = 0;
  std::atomic<int> period{0};
  std::atomic<bool> lost{false};
  std::atomic<const Player*> player{nullptr};
  // How many of the server's callbacks are running; Pause waits for it to be 0.
  std::atomic<int> inCallback{0};
};
