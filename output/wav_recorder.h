// Records the program's output to a 16-bit mono 44100 Hz WAV file: exactly the samples the block
// renderer hands to the device, silence included. The file is a valid WAV file from its start: its
// header says what the file holds and is rewritten twice a second while recording, so a process
// killed outright or a power cut leaves a file that any player reads, short only of the last second
// or so. The finished file's header counts every sample. A render that knows its length up front
// announces it, so that a pipe, which cannot be rewritten, gets the right sizes before the first
// sample.
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
// Start and Finish return whether they succeeded, and GetFileError says why a file failed.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "files/output_file.h"

class CWavRecorder {
 public:
  // The format's sizes are unsigned 32-bit: the RIFF size, samples x 2 + 36, must fit.
  static constexpr std::int32_t kMaxSamples = static_cast<std::int32_t>((0xFFFFFFFFu - 36u) / 2u);
  // About 11.9 s of output: room for a UI thread that stalls for several seconds.
  static constexpr std::uint32_t kRingSamples = 1u << 19;
  // Half a second: with the drain's own delay the header stays less than a second behind.
  static constexpr std::int32_t kHeaderIntervalSamples = 22050;

  CWavRecorder();
  ~CWavRecorder();
  CWavRecorder(const CWavRecorder&) = delete;
  CWavRecorder& operator=(const CWavRecorder&) = delete;

  // Control thread. Start finishes a running recording first. It enters the recording state even
  // when the file cannot be opened (the samples are then only counted) and returns whether it
  // opened. A regular file is replaced only once its header is written, so a recording that
  // cannot start leaves the earlier file as it was. A FIFO or socket is refused rather than waited
  // on.
  bool Start(const char* path);
  // Control thread. The same into a file the caller opened and commits or closes after Finish,
  // announcing `samples`: the recording is complete only when exactly that many arrive.
  bool Start(COutputFile& output, std::int32_t samples);
  // Control thread. Returns true when a file was completed holding every sample handed over.
  bool Finish();
  // Control thread: moves the samples written so far to the file.
  void Drain();
  // Control thread: whether a write to the file failed (a full disk), and the error (an errno
  // value for COutputFile::Describe) of the first failure to open or write the file; 0 if none.
  bool HasWriteFailed() const { return writeFailed; }
  int GetFileError() const { return fileError; }
  // Audio thread.
  void Write(const std::int16_t* samples, std::int32_t count);

  bool IsRecording() const;
  // Samples handed to Write since the last Start, up to the size limit.
  std::int32_t GetSampleCount() const;
  // Lowers the size limit, so that tests can reach it without writing 4 GB. Control thread, idle.
  void SetSampleLimit(std::int32_t maxSamples);

 private:
  void Push(const std::int16_t* samples, std::uint32_t count);
  bool OpenWithHeader(COutputFile& output, std::int32_t samples);
  void WriteFailed(int cause);
  bool WriteHeaderAt(std::int32_t samples);
  bool FinishFile();

  std::atomic<std::uint32_t> recording;
  std::atomic<std::int32_t> sampleCount;
  // The file Start(path) opens; the other Start borrows its caller's.
  COutputFile ownFile;
  COutputFile* output;
  std::FILE* file;
  // The announced length, or -1; the samples the header said when last written.
  std::int32_t announcedSamples;
  std::int32_t headerSamples;
  int fileError;
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
