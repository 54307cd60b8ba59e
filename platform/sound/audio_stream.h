// Plays the program's output in real time. The stream opens the default sound device, sets 16-bit
// mono 44100 Hz output, creates one looping buffer of 8192 bytes (4096 samples, 92.9 ms), starts
// it playing and starts the audio thread. Every 20 ms the audio thread has the block callback
// render everything played since its last look, right up to the play position, so each sample is
// heard about one buffer length after it was rendered. A look that finds the play position where
// the last one left it renders nothing: the device has played nothing since.
//
// Two threads meet here. The user-interface thread calls SetWindow, Start and Stop; the audio
// thread runs AudioThreadProc, FillBuffer and the callback. No lock is taken: Stop ends the audio
// thread with a handshake over two flags. Only Stop sets `stopRequest`; only the audio thread
// clears `running`, after the last buffer operation of its pass, and Stop releases the buffers
// only once it has seen `running` clear. Release and acquire order the two sides.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "output/block_callback.h"
#include "platform/sound/sound_host_layer.h"
#include "platform/sound/sound_layer.h"

class CAudioStream {
 public:
  static constexpr std::uint32_t kLoopBytes = 8192;
  static constexpr std::uint32_t kPollMs = 20;
  // Between attempts to lock a buffer that stays lost: long enough not to burn a core, short
  // against the 92.9 ms the loop holds.
  static constexpr std::uint32_t kLockRetryPauseMs = 5;

  CAudioStream();
  ~CAudioStream();
  CAudioStream(const CAudioStream&) = delete;
  CAudioStream& operator=(const CAudioStream&) = delete;

  // How many frames after the newest one rendered the one now heard is, right after a pass: the
  // whole loop, since each pass refills the loop up to the play position, and what the device
  // holds after it.
  std::uint32_t LatencyFrames() const;

  void SetWindow(SoundWindow window);
  // The layer the next Start opens its device and thread through: the machine's own (null) unless
  // a test hands the stream a scripted one, which must outlive the stream's use of it.
  void SetSoundLayer(CSoundLayer* layer);
  // The JACK client the machine's own layer plays through, shared with the low-latency output so
  // that a switch between them keeps the port and its connections (null: a client of its own).
  // It must outlive the stream's use of it.
  void SetJackClient(CJackClient* shared) { hostLayer.SetJackClient(shared); }
  // True when the buffer plays and the audio thread runs. A stream that is not stopped is
  // stopped first, unless Open has just prepared it, when Start goes on from there.
  // With `renderAhead` the loop starts full of rendered sound rather than silence, so what follows
  // another output is heard at once.
  bool Start(BlockCallback callback, bool renderAhead = false);
  // The first half of Start: opens the device and makes the buffers, the slow part, without
  // rendering or playing anything, so that another output can play on meanwhile. Stop undoes it.
  bool Open();
  void Stop();
  // Stops as Stop does and copies what was rendered but not yet heard, oldest first, into `out`
  // (at most `capacity` samples); returns how many. For handing over to another output.
  std::uint32_t StopKeepingUnheard(std::int16_t* out, std::uint32_t capacity);
  // Control thread, while started: whether the sound system under the loop has gone away, opening
  // it again under the same loop (true once it plays), and what plays.
  bool IsLost() const;
  bool HasLoop() const { return loopBuffer != nullptr; }
  bool Reconnect();
  std::string Describe() const;
  // Back to the starting state, keeping callback and window. On a stream that is not stopped
  // this is a Stop, so that no buffer is dropped under the audio thread.
  void Reset();

  static std::uint32_t AudioThreadProc(void* stream);
  // One refill pass; false when the audio thread is to end.
  bool FillBuffer();

 private:
  bool IsStopped() const;
  void EndThread();
  bool AnswerStop();

  BlockCallback callback;
  std::unique_ptr<CSoundDevice> device;
  SoundWindow window;
  std::unique_ptr<CSoundBuffer> primaryBuffer;
  std::unique_ptr<CSoundBuffer> loopBuffer;
  SoundThreadHandle thread;
  std::uint32_t writePos;
  // Open has prepared device and buffers for the next Start.
  bool opened = false;
  // Everything from writePos round to writePos is rendered and not yet heard: true after a pass
  // and after a start that rendered ahead, false while the loop still holds a start's silence.
  // Set by Start before the audio thread runs and read after it has ended, so no atomic is needed.
  bool loopFull = false;
  std::atomic<std::uint8_t> running;
  std::atomic<std::uint8_t> stopRequest;
  CHostSoundLayer hostLayer;
  CSoundLayer* nextLayer;
  // The layer that opened the device and started the thread, kept for closing them.
  CSoundLayer* layer;
};

extern CAudioStream g_audioStream;
