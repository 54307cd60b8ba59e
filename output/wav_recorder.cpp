// The recorder's two sides: Write on the audio thread fills the ring; Start, Drain and Finish on
// the control thread own the file. The handshake between Write and Finish is a write-then-load on
// each side (`writeSequence` then `recording` in Write, `recording` then `writeSequence` in
// Finish), all sequentially consistent, so either Finish sees the Write in flight and waits for
// that one Write to end, or the Write sees the recording cleared and leaves. Waiting for the
// sequence to move on, rather than for a flag to drop, cannot be starved by back-to-back Writes.
#include "output/wav_recorder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <thread>

#include "engine/sample_rate.h"

static_assert(std::endian::native == std::endian::little,
              "samples go to the file in the machine's byte order, which WAV needs little-endian");

CWavRecorder g_wavRecorder;

namespace {

constexpr std::uint32_t kRingMask = CWavRecorder::kRingSamples - 1;
static_assert((CWavRecorder::kRingSamples & kRingMask) == 0, "the ring is indexed with a bit mask");
constexpr long kHeaderBytes = 44;

void PutU16(unsigned char* at, std::uint32_t v) {
  at[0] = static_cast<unsigned char>(v);
  at[1] = static_cast<unsigned char>(v >> 8);
}

void PutU32(unsigned char* at, std::uint32_t v) {
  PutU16(at, v);
  PutU16(at + 2, v >> 16);
}

void BuildHeader(unsigned char* header, std::uint32_t samples) {
  const std::uint32_t dataBytes = samples * 2u;
  std::memcpy(header, "RIFF", 4);
  PutU32(header + 4, dataBytes + 36u);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  PutU32(header + 16, 16);
  PutU16(header + 20, 1);
  PutU16(header + 22, 1);
  PutU32(header + 24, kSampleRate);
  PutU32(header + 28, kSampleRate * 2);
  PutU16(header + 32, 2);
  PutU16(header + 34, 16);
  std::memcpy(header + 36, "data", 4);
  PutU32(header + 40, dataBytes);
}

}  // namespace

CWavRecorder::CWavRecorder()
    : recording(0),
      sampleCount(0),
      output(nullptr),
      file(nullptr),
      announcedSamples(-1),
      headerSamples(0),
      fileError(0),
      toFile(false),
      writeSequence(0),
      sampleLimit(kMaxSamples),
      samplesStored(0),
      writeFailed(false),
      ringWrite(0),
      ringRead(0),
      ring{} {}

CWavRecorder::~CWavRecorder() {
  if (IsRecording()) {
    Finish();
  }
}

bool CWavRecorder::Start(const char* path) {
  if (IsRecording()) {
    Finish();
  }
  fileError = 0;
  if (!ownFile.Open(path, OutputTargets::kFilesAndDevices)) {
    fileError = ownFile.Error();
  } else if (OpenWithHeader(ownFile, -1) && !ownFile.Commit()) {
    fileError = ownFile.Error();
    file = nullptr;
  }
  if (file == nullptr) {
    ownFile.Close();
  }
  sampleCount.store(0, std::memory_order_relaxed);
  toFile.store(file != nullptr, std::memory_order_relaxed);
  recording.store(1);
  return file != nullptr;
}

bool CWavRecorder::Start(COutputFile& borrowed, std::int32_t samples) {
  if (IsRecording()) {
    Finish();
  }
  fileError = 0;
  OpenWithHeader(borrowed, samples);
  sampleCount.store(0, std::memory_order_relaxed);
  toFile.store(file != nullptr, std::memory_order_relaxed);
  recording.store(1);
  return file != nullptr;
}

// The header goes out at once, flushed, so that a file that cannot take even that is found out
// before the recording starts.
bool CWavRecorder::OpenWithHeader(COutputFile& target, std::int32_t samples) {
  output = &target;
  file = target.Stream();
  announcedSamples = samples;
  samplesStored = 0;
  headerSamples = 0;
  writeFailed = false;
  unsigned char header[kHeaderBytes];
  BuildHeader(header, static_cast<std::uint32_t>(samples > 0 ? samples : 0));
  if (file == nullptr || std::fwrite(header, sizeof header, 1, file) != 1 || std::fflush(file) != 0) {
    fileError = file == nullptr ? target.Error() : errno;
    file = nullptr;
    output = nullptr;
    return false;
  }
  return true;
}

bool CWavRecorder::Finish() {
  recording.store(0);
  const std::uint32_t seen = writeSequence.load();
  if ((seen & 1u) != 0) {
    while (writeSequence.load() == seen) {
      std::this_thread::yield();
    }
  }
  Drain();
  toFile.store(false, std::memory_order_relaxed);
  if (file == nullptr) {
    return false;
  }
  const bool complete = FinishFile();
  return complete && samplesStored == sampleCount.load(std::memory_order_relaxed);
}

void CWavRecorder::Drain() {
  std::uint32_t read = ringRead.load(std::memory_order_relaxed);
  std::uint32_t available = ringWrite.load(std::memory_order_acquire) - read;
  const std::int32_t storedBefore = samplesStored;
  while (available > 0) {
    const std::uint32_t at = read & kRingMask;
    const std::uint32_t chunk = available < kRingSamples - at ? available : kRingSamples - at;
    if (file != nullptr && !writeFailed) {
      const std::size_t stored = std::fwrite(ring + at, sizeof ring[0], chunk, file);
      samplesStored += static_cast<std::int32_t>(stored);
      if (stored != chunk) {
        WriteFailed(errno);
      }
    }
    read += chunk;
    available -= chunk;
  }
  ringRead.store(read, std::memory_order_release);
  if (file == nullptr || writeFailed || samplesStored == storedBefore) {
    return;
  }
  // Flushed each time, so that a full disk shows at once and the header below counts only what
  // the file really holds.
  if (std::fflush(file) != 0) {
    WriteFailed(errno);
  } else if (announcedSamples < 0 && output->IsSeekable() &&
             samplesStored - headerSamples >= kHeaderIntervalSamples && WriteHeaderAt(samplesStored)) {
    // Past a power cut too, not only past the end of the process.
    fdatasync(fileno(file));
  }
}

void CWavRecorder::WriteFailed(int cause) {
  if (!writeFailed && fileError == 0) {
    fileError = cause != 0 ? cause : EIO;
  }
  writeFailed = true;
}

bool CWavRecorder::WriteHeaderAt(std::int32_t samples) {
  unsigned char header[kHeaderBytes];
  BuildHeader(header, static_cast<std::uint32_t>(samples));
  if (pwrite(fileno(file), header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    WriteFailed(errno);
    return false;
  }
  headerSamples = samples;
  return true;
}

void CWavRecorder::Write(const std::int16_t* samples, std::int32_t count) {
  writeSequence.fetch_add(1);
  if (recording.load() == 1 && samples != nullptr && count > 0) {
    const std::int32_t counted = sampleCount.load(std::memory_order_relaxed);
    const std::int32_t room = sampleLimit.load(std::memory_order_relaxed) - counted;
    const std::int32_t accepted = count < room ? count : room;
    if (accepted > 0) {
      if (toFile.load(std::memory_order_relaxed)) {
        Push(samples, static_cast<std::uint32_t>(accepted));
      }
      sampleCount.store(counted + accepted, std::memory_order_relaxed);
    }
  }
  writeSequence.fetch_add(1, std::memory_order_release);
}

bool CWavRecorder::IsRecording() const { return recording.load() == 1; }

std::int32_t CWavRecorder::GetSampleCount() const {
  return sampleCount.load(std::memory_order_relaxed);
}

void CWavRecorder::SetSampleLimit(std::int32_t maxSamples) {
  const std::int32_t limit = maxSamples < 0 ? 0 : maxSamples > kMaxSamples ? kMaxSamples : maxSamples;
  sampleLimit.store(limit, std::memory_order_relaxed);
}

void CWavRecorder::Push(const std::int16_t* samples, std::uint32_t count) {
  // A full ring drops what does not fit rather than wait: the file then lacks those samples, and
  // its header says so.
  const std::uint32_t write = ringWrite.load(std::memory_order_relaxed);
  const std::uint32_t space = kRingSamples - (write - ringRead.load(std::memory_order_acquire));
  const std::uint32_t n = count < space ? count : space;
  const std::uint32_t at = write & kRingMask;
  const std::uint32_t first = n < kRingSamples - at ? n : kRingSamples - at;
  std::memcpy(ring + at, samples, first * sizeof ring[0]);
  std::memcpy(ring, samples + first, (n - first) * sizeof ring[0]);
  ringWrite.store(write + n, std::memory_order_release);
}

bool CWavRecorder::FinishFile() {
  bool complete = std::fflush(file) == 0 && !writeFailed;
  if (output->IsSeekable()) {
    // Trust the file, not the count: after a failed or short write the header must describe only
    // the whole samples that are really there, and nothing may follow them.
    const int fd = fileno(file);
    struct stat status {};
    if (fstat(fd, &status) == 0) {
      const long long heldBytes = static_cast<long long>(status.st_size) - kHeaderBytes;
      if (heldBytes < 2LL * samplesStored) {
        samplesStored = heldBytes > 0 ? static_cast<std::int32_t>(heldBytes / 2) : 0;
        complete = false;
      }
      const long long wanted = kHeaderBytes + 2LL * samplesStored;
      if (status.st_size != wanted && ftruncate(fd, wanted) != 0) {
        complete = false;
      }
    } else {
      complete = false;
    }
    if (!WriteHeaderAt(samplesStored)) {
      complete = false;
    }
  }
  // A pipe or device keeps the header it started with, right only if it was announced.
  if (announcedSamples >= 0 ? samplesStored != announcedSamples : !output->IsSeekable()) {
    complete = false;
  }
  if (output == &ownFile && !ownFile.Close()) {
    complete = false;
  }
  file = nullptr;
  output = nullptr;
  return complete;
}
