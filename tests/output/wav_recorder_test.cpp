// Tests of the WAV recorder: sizes and byte layout read back with libsndfile and byte by byte, the
// header while recording, the idle and failed-open states, a Start during a recording, the size limit, failed writes, a full
// ring, and a Finish while another thread writes.
#include "output/wav_recorder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/output/wav_file_reader.h"

namespace {

namespace fs = std::filesystem;

class WavRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("quembrel_wav_recorder_test_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    recorder = std::make_unique<CWavRecorder>();
  }
  void TearDown() override {
    recorder.reset();
    fs::remove_all(dir);
  }
  std::string PathOf(const std::string& name) const { return (dir / name).string(); }

  fs::path dir;
  std::unique_ptr<CWavRecorder> recorder;
};

std::vector<std::int16_t> Ramp(int count, int first) {
  std::vector<std::int16_t> samples(count);
  for (int i = 0; i < count; ++i) {
    samples[i] = static_cast<std::int16_t>(first + i);
  }
  return samples;
}

TEST_F(WavRecorderTest, TenSecondsGiveTheExpectedSizes) {
  const std::string path = PathOf("ten.wav");
  EXPECT_TRUE(recorder->Start(path.c_str()));
  std::vector<std::int16_t> all;
  for (int block = 0; block < 1000; ++block) {
    const std::vector<std::int16_t> samples = Ramp(441, block * 441);
    recorder->Write(samples.data(), 441);
    all.insert(all.end(), samples.begin(), samples.end());
    if (block % 10 == 0) {
      recorder->Drain();
    }
  }
  EXPECT_EQ(recorder->GetSampleCount(), 441000);
  EXPECT_TRUE(recorder->Finish());
  EXPECT_FALSE(recorder->IsRecording());
  EXPECT_EQ(recorder->GetSampleCount(), 441000);

  const WavFileContents wav = ReadWavFile(path);
  EXPECT_EQ(wav.bytes.size(), 44u + 882000u);
  EXPECT_EQ(wav.riffSize, 882036u);
  EXPECT_EQ(wav.dataSize, 882000u);
  EXPECT_TRUE(IsCompleteWav(wav));
  EXPECT_EQ(wav.samples, all);
}

TEST_F(WavRecorderTest, HeaderFieldsAndSampleBytes) {
  const std::string path = PathOf("layout.wav");
  recorder->Start(path.c_str());
  const std::int16_t samples[] = {-32768, 32767, 0, -1, 1};
  recorder->Write(samples, 5);
  recorder->Finish();
  const std::vector<unsigned char> expected = {
      'R', 'I', 'F', 'F', 46, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
      16, 0, 0, 0, 1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 0x01, 0,
      2, 0, 16, 0, 'd', 'a', 't', 'a', 10, 0, 0, 0,
      0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x00};
  EXPECT_EQ(ReadFileBytes(path), expected);
  EXPECT_TRUE(IsCompleteWav(ReadWavFile(path)));
}

TEST_F(WavRecorderTest, StartThenFinishGivesAnEmptyValidFile) {
  const std::string path = PathOf("empty.wav");
  recorder->Start(path.c_str());
  EXPECT_TRUE(recorder->Finish());
  const WavFileContents wav = ReadWavFile(path);
  EXPECT_EQ(wav.bytes.size(), 44u);
  EXPECT_EQ(wav.riffSize, 36u);
  EXPECT_EQ(wav.dataSize, 0u);
  EXPECT_TRUE(IsCompleteWav(wav));
}

// While recording, the header counts what the file holds, a little behind but never more than
// half a second, so a file left by a killed process is valid; the finished header counts all.
TEST_F(WavRecorderTest, HeaderFollowsTheFileWhileRecording) {
  const std::string path = PathOf("growing.wav");
  ASSERT_TRUE(recorder->Start(path.c_str()));
  const std::vector<std::int16_t> samples = Ramp(30000, 7);
  const struct {
    int count;
    std::uint32_t headerSamples;
  } steps[] = {{0, 0}, {100, 0}, {CWavRecorder::kHeaderIntervalSamples, 22150}, {29900 - 22150, 22150}};
  int written = 0;
  for (const auto& step : steps) {
    recorder->Write(samples.data() + written, step.count);
    written += step.count;
    recorder->Drain();
    const WavFileContents wav = ReadWavFile(path);
    EXPECT_EQ(wav.bytes.size(), 44u + 2u * written);
    EXPECT_EQ(wav.dataSize, 2 * step.headerSamples) << written;
    EXPECT_EQ(wav.riffSize, 2 * step.headerSamples + 36) << written;
    EXPECT_EQ(wav.samples, std::vector<std::int16_t>(samples.begin(), samples.begin() + step.headerSamples));
  }
  recorder->Write(samples.data() + written, 100);
  EXPECT_TRUE(recorder->Finish());
  const WavFileContents wav = ReadWavFile(path);
  EXPECT_TRUE(IsCompleteWav(wav));
  EXPECT_EQ(wav.samples, samples);
}

TEST_F(WavRecorderTest, WritesWhileIdleOrInvalidAreIgnored) {
  const std::vector<std::int16_t> samples = Ramp(50, 1);
  recorder->Write(samples.data(), 50);
  EXPECT_EQ(recorder->GetSampleCount(), 0);

  const std::string path = PathOf("idle.wav");
  recorder->Start(path.c_str());
  recorder->Write(samples.data(), 0);
  recorder->Write(samples.data(), -20);
  recorder->Write(nullptr, 20);
  recorder->Write(samples.data(), 3);
  recorder->Finish();
  recorder->Write(samples.data(), 50);
  EXPECT_EQ(recorder->GetSampleCount(), 3);
  EXPECT_EQ(ReadWavFile(path).samples, Ramp(3, 1));
}

TEST_F(WavRecorderTest, UnopenablePathStillCountsAndCreatesNothing) {
  const std::string paths[] = {PathOf("missing/folder/take.wav"), dir.string(), ""};
  for (const std::string& path : paths) {
    EXPECT_FALSE(recorder->Start(path.c_str())) << path;
    EXPECT_TRUE(recorder->IsRecording()) << path;
    const std::vector<std::int16_t> samples = Ramp(441, 0);
    recorder->Write(samples.data(), 441);
    recorder->Drain();
    EXPECT_EQ(recorder->GetSampleCount(), 441) << path;
    EXPECT_FALSE(recorder->Finish()) << path;
    EXPECT_FALSE(recorder->IsRecording()) << path;
  }
  EXPECT_FALSE(recorder->Start(nullptr));
  EXPECT_FALSE(recorder->Finish());
  EXPECT_FALSE(fs::exists(PathOf("missing")));
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(WavRecorderTest, FinishTwiceAndFinishWhileIdleDoNothing) {
  EXPECT_FALSE(recorder->Finish());
  const std::string path = PathOf("twice.wav");
  recorder->Start(path.c_str());
  const std::vector<std::int16_t> samples = Ramp(10, 0);
  recorder->Write(samples.data(), 10);
  EXPECT_TRUE(recorder->Finish());
  const std::vector<unsigned char> first = ReadFileBytes(path);
  EXPECT_FALSE(recorder->Finish());
  EXPECT_FALSE(recorder->IsRecording());
  EXPECT_EQ(recorder->GetSampleCount(), 10);
  EXPECT_EQ(ReadFileBytes(path), first);
}

TEST_F(WavRecorderTest, StartWhileRecordingFinishesTheFirstFile) {
  const std::string first = PathOf("first.wav");
  const std::string second = PathOf("second.wav");
  recorder->Start(first.c_str());
  const std::vector<std::int16_t> a = Ramp(300, 100);
  recorder->Write(a.data(), 300);
  EXPECT_TRUE(recorder->Start(second.c_str()));
  EXPECT_EQ(recorder->GetSampleCount(), 0);
  const std::vector<std::int16_t> b = Ramp(200, -500);
  recorder->Write(b.data(), 200);
  recorder->Finish();

  const WavFileContents one = ReadWavFile(first);
  const WavFileContents two = ReadWavFile(second);
  EXPECT_TRUE(IsCompleteWav(one));
  EXPECT_TRUE(IsCompleteWav(two));
  EXPECT_EQ(one.samples, a);
  EXPECT_EQ(two.samples, b);

  // Restarting on the same path starts that file afresh.
  recorder->Start(first.c_str());
  recorder->Write(b.data(), 20);
  recorder->Start(first.c_str());
  recorder->Write(a.data(), 5);
  recorder->Finish();
  EXPECT_EQ(ReadWavFile(first).samples, Ramp(5, 100));
}

TEST_F(WavRecorderTest, RecordingStopsGrowingAtTheSizeLimit) {
  EXPECT_EQ(CWavRecorder::kMaxSamples, 2147483629);
  EXPECT_EQ(static_cast<std::uint32_t>(CWavRecorder::kMaxSamples) * 2u + 36u, 0xFFFFFFFEu);

  const std::string path = PathOf("limit.wav");
  recorder->SetSampleLimit(1000);
  recorder->Start(path.c_str());
  std::vector<std::int16_t> all;
  for (int block = 0; block < 5; ++block) {
    const std::vector<std::int16_t> samples = Ramp(441, block * 441);
    recorder->Write(samples.data(), 441);
    all.insert(all.end(), samples.begin(), samples.end());
  }
  EXPECT_EQ(recorder->GetSampleCount(), 1000);
  EXPECT_TRUE(recorder->Finish());
  const WavFileContents wav = ReadWavFile(path);
  EXPECT_TRUE(IsCompleteWav(wav));
  EXPECT_EQ(wav.dataSize, 2000u);
  all.resize(1000);
  EXPECT_EQ(wav.samples, all);

  // Without a file the counter stops at the limit too.
  recorder->Start(PathOf("no/such/dir.wav").c_str());
  const std::vector<std::int16_t> samples = Ramp(441, 0);
  for (int block = 0; block < 5; ++block) {
    recorder->Write(samples.data(), 441);
  }
  EXPECT_EQ(recorder->GetSampleCount(), 1000);
  recorder->Finish();
}

TEST_F(WavRecorderTest, SampleLimitIsClampedToWhatTheFormatHolds) {
  const std::string path = PathOf("clamped.wav");
  recorder->SetSampleLimit(-5);
  recorder->Start(path.c_str());
  const std::vector<std::int16_t> samples = Ramp(10, 0);
  recorder->Write(samples.data(), 10);
  recorder->Finish();
  EXPECT_EQ(ReadWavFile(path).dataSize, 0u);

  recorder->SetSampleLimit(0x7FFFFFFF);
  recorder->Start(path.c_str());
  recorder->Write(samples.data(), 10);
  recorder->Finish();
  EXPECT_EQ(ReadWavFile(path).dataSize, 20u);
}

TEST_F(WavRecorderTest, FailedWriteLeavesAHeaderThatMatchesTheData) {
  // The file size limit makes the kernel refuse writes past 2045 bytes, as a full disk would:
  // the header must then describe the 1000 whole samples that got through, and the odd byte goes.
  const std::string path = PathOf("short.wav");
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 44 + 2001;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

  recorder->Start(path.c_str());
  const std::vector<std::int16_t> samples = Ramp(3000, 0);
  recorder->Write(samples.data(), 3000);
  const bool complete = recorder->Finish();

  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(complete);
  EXPECT_EQ(recorder->GetSampleCount(), 3000);
  const WavFileContents wav = ReadWavFile(path);
  EXPECT_TRUE(IsCompleteWav(wav));
  EXPECT_EQ(wav.bytes.size(), 2044u);
  EXPECT_EQ(wav.samples, Ramp(1000, 0));
}

TEST_F(WavRecorderTest, UnwritableDeviceIsReportedByStart) {
  if (!fs::exists("/dev/full")) {
    GTEST_SKIP() << "no /dev/full";
  }
  EXPECT_FALSE(recorder->Start("/dev/full"));
  EXPECT_EQ(recorder->GetFileError(), ENOSPC);
  const std::vector<std::int16_t> samples = Ramp(8192, 0);
  recorder->Write(samples.data(), 8192);
  recorder->Drain();
  EXPECT_FALSE(recorder->Finish());
  EXPECT_FALSE(recorder->IsRecording());
}

// Opening a FIFO for writing waits for a reader, and writing to it waits on that reader: the
// window that starts a recording would freeze. It is refused at once instead.
TEST_F(WavRecorderTest, FifoIsRefusedWithoutWaiting) {
  ASSERT_EQ(mkfifo(PathOf("pipe").c_str(), 0600), 0);
  EXPECT_FALSE(recorder->Start(PathOf("pipe").c_str()));
  EXPECT_EQ(recorder->GetFileError(), COutputFile::kIsPipe);
  EXPECT_FALSE(recorder->Finish());
  EXPECT_TRUE(fs::is_fifo(PathOf("pipe")));
}

TEST_F(WavRecorderTest, FullRingDropsTheRestAndTheFileStaysValid) {
  const std::string path = PathOf("overflow.wav");
  recorder->Start(path.c_str());
  const int blocks = static_cast<int>(CWavRecorder::kRingSamples / 1000) + 20;
  for (int block = 0; block < blocks; ++block) {
    const std::vector<std::int16_t> samples = Ramp(1000, block * 1000);
    recorder->Write(samples.data(), 1000);
  }
  EXPECT_EQ(recorder->GetSampleCount(), blocks * 1000);
  EXPECT_FALSE(recorder->Finish());
  const WavFileContents wav = ReadWavFile(path);
  EXPECT_TRUE(IsCompleteWav(wav));
  EXPECT_EQ(wav.samples, Ramp(static_cast<int>(CWavRecorder::kRingSamples), 0));
}

TEST_F(WavRecorderTest, DestructionFinishesARunningRecording) {
  const std::string path = PathOf("exit.wav");
  recorder->Start(path.c_str());
  const std::vector<std::int16_t> samples = Ramp(123, 0);
  recorder->Write(samples.data(), 123);
  recorder.reset();
  EXPECT_EQ(ReadWavFile(path).samples, samples);
}

TEST_F(WavRecorderTest, FinishWhileAnotherThreadWritesKeepsTheFileWhole) {
  const std::string path = PathOf("concurrent.wav");
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    std::int16_t block[441];
    int next = 0;
    while (!stop.load()) {
      for (std::int16_t& s : block) {
        s = static_cast<std::int16_t>(next++);
      }
      recorder->Write(block, 441);
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });
  for (int take = 0; take < 5; ++take) {
    recorder->Start(path.c_str());
    for (int i = 0; i < 10; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      recorder->Drain();
    }
    EXPECT_TRUE(recorder->Finish());
    const WavFileContents wav = ReadWavFile(path);
    EXPECT_TRUE(IsCompleteWav(wav));
    EXPECT_EQ(static_cast<std::int32_t>(wav.samples.size()), recorder->GetSampleCount());
    for (std::size_t i = 1; i < wav.samples.size(); ++i) {
      ASSERT_EQ(static_cast<std::int16_t>(wav.samples[i - 1] + 1), wav.samples[i]) << i;
    }
  }
  stop.store(true);
  audio.join();
}

}  // namespace
