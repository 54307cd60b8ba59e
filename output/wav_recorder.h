// Records the program's output to a 16-bit mono 44100 Hz WAV file: exactly the samples the block
// renderer hands to the device, silence included. The file gets 44 zero bytes first and the real
// header last, once the number of samples is known.
//
// Two threads use it. The audio thread calls Write, which never touches the file: it copies the
// samples into a preallocated single-producer single-consumer ring and counts them. The control
// thread (the one that calls Start and Finish: the UI thread, or the render tool's main thread)
// moves them to the file with Drain, from a timer or after each block. Finish clears `recording`
// and then waits for any Write still in flight, so the file is never closed or swapped under the
// audio thread, and the audio thread never waits for file work.
//
// The header always describes what the file holds: samples lost to a full ring, a failed write or
// the size limit of the format are left out of it, so every finished file is a valid WAV file.
// Failures are not reported by the program; Start and Finish return whether they succeeded for a
// host that wants to know.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

class CWavRecorder {
 public:
  // The format's sizes are unsigned 32-bit: the RIFF size, samples x 2 + 36, must fit.
  static constexpr std::int32_t kMaxSamples = static_cast<std::int32_t>((0xFFFFFFFFu - 36u) / 2u);
  // About 11.9 s of output: room for a UI thread that stalls for several seconds.
  static constexpr std::uint32_t kRingSamples = 1u << 19;

  CWavRecorder();
  ~CWavRecorder();
  CWavRecorder(const CWavRecorder&) = delete;
  CWavRecorder& operator=(const CWavRecorder&) = delete;

  // Control thread. Start finishes a running recording first. It enters the recording state even
  // when the file cannot be opened (the samples are then only counted) and returns whether it
  // opened.
  bool Start(const char* path);
  // Control thread. Returns true when a file was completed holding every sample handed over.
  bool Finish();
  // Control thread: moves the samples written so far to the file.
  void Drain();
  // Audio thread.
  void Write(const std::int16_t* samples, std::int32_t count);

  bool IsRecording() const;
  // Samples handed to Write since the last Start, up to the size limit.
  std::int32_t GetSampleCount() const;
  // Lowers the size limit, so that tests can reach it without writing 4 GB. Control thread, idle.
  void SetSampleLimit(std::int32_t maxSamples);

 private:
  void Push(const std::int16_t* samples, std::uint32_t count);
  bool WriteHeaderAndClose();

  std::atomic<std::uint32_t> recording;
  std::atomic<std::int32_t> sampleCount;
  std::FILE* file;
  std::atomic<bool> toFile;
  // Odd while a Write runs: each Write adds one on entry and one on exit.
  std::atomic<std::uint32_t> writeSequence;
  std::atomic<std::int32_t> sampleLimit;
  // Samples that reached the file, and whether a write to it has failed: control thread only.
  std::int32_t samplesStored;
  bool writeFailed;
  std::atomic<std::uint32_t> ringWrite;
  std::atomic<std::uint32_t> ringRead;
  std::int16_t ring[kRingSamples];
};

extern CWavRecorder g_wavRecorder;
