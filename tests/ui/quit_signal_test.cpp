// The program ended by a signal. Each run is a child process that runs the program as its main
// does (the application shell on the offscreen platform, the scripted sound layer playing in real
// time): "Record", "Play", and then the signal. SIGTERM, SIGINT and SIGHUP, the last two with a
// modal dialog open, must end it with status 0 within a second, leaving a finished WAV file that
// holds everything up to the signal. SIGKILL must leave a valid WAV file that holds everything up
// to a second before the kill.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <string>
#include <thread>

#include "tests/output/wav_file_reader.h"
#include "tests/ui/program_fixture.h"
#include "ui/synth_app.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class OpenDialog { kNone, kAboutBox, kFileDialog };

int g_reportPipe = -1;
OpenDialog g_openDialog = OpenDialog::kNone;
std::string g_takePath;

void PlayAndRecord() {
  auto* panel = static_cast<CSynthPanel*>(g_synthApp.GetMainWindow());
  if (panel == nullptr || g_riffPanel == nullptr) {
    QTimer::singleShot(10, &PlayAndRecord);
    return;
  }
  ScriptedFileDialog::Answers().push_back(g_takePath);
  Click(*g_riffPanel, CRiffPanel::kRecordId);
  Click(*g_riffPanel, CRiffPanel::kPlayId);
  // Reported from the loop the signal will meet: the dialog's, when one opens.
  QTimer::singleShot(0, [] { (void)!write(g_reportPipe, "R", 1); });
  if (g_openDialog == OpenDialog::kAboutBox) {
    panel->OnSysCommand(CSynthPanel::kAboutCommand, 0);
  } else if (g_openDialog == OpenDialog::kFileDialog) {
    ScriptedFileDialog::ShowsRealDialog() = true;
    Click(*g_riffPanel, CRiffPanel::kLoadId);
  }
}

void ScheduleScenario() { QTimer::singleShot(0, &PlayAndRecord); }

// Starts the program in a child process; `report` becomes readable once it records.
pid_t StartRecordingProgram(OpenDialog dialog, const std::string& take, int& report) {
  int ends[2];
  if (pipe(ends) != 0) {
    return -1;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(ends[0]);
    g_reportPipe = ends[1];
    g_openDialog = dialog;
    g_takePath = take;
    FakeSound().SetThreadMode(FakeThreadMode::kRun);
    FakeSound().SetPositionMode(FakePositionMode::kRealTime);
    g_audioStream.SetSoundLayer(&FakeSound());
    g_synthApp.SetFileDialogRunner(&ScriptedFileDialog::Run);
    qAddPreRoutine(&ScheduleScenario);
    static char name[] = "quembrel";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    _exit(g_synthApp.Run(argc, argv));
  }
  close(ends[1]);
  report = ends[0];
  return pid;
}

bool WaitForReport(int report) {
  pollfd watch{report, POLLIN, 0};
  char byte = 0;
  const bool ready = poll(&watch, 1, 30000) == 1 && read(report, &byte, 1) == 1;
  close(report);
  return ready;
}

// The exit status, or -1 when the child has not ended within the time given (it is killed then).
int WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status;
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(QuitSignalTest, EndsAsTheCloseBoxDoesAndFinishesTheRecording) {
  const struct {
    int signal;
    OpenDialog dialog;
  } cases[] = {
      {SIGTERM, OpenDialog::kNone},
      {SIGINT, OpenDialog::kAboutBox},
      {SIGHUP, OpenDialog::kFileDialog},
  };
  const std::filesystem::path folder = TestFolder("quembrel_quit_signal");
  for (const auto& c : cases) {
    const std::string take = (folder / ("take" + std::to_string(c.signal) + ".wav")).string();
    int report = -1;
    const pid_t pid = StartRecordingProgram(c.dialog, take, report);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForReport(report)) << "signal " << c.signal;
    const Clock::time_point recording = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const double recordedSeconds = SecondsSince(recording);
    kill(pid, c.signal);
    const int status = WaitForExit(pid, std::chrono::seconds(1));
    ASSERT_NE(status, -1) << "signal " << c.signal << ": still running a second later";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "signal " << c.signal << ", status " << status;

    const WavFileContents wav = ReadWavFile(take);
    ASSERT_TRUE(IsCompleteWav(wav)) << "signal " << c.signal;
    // Everything up to the signal, allowing for a slow start of the audio on a busy machine.
    EXPECT_GE(wav.samples.size(), static_cast<std::size_t>((recordedSeconds - 0.3) * 44100)) << c.signal;
    const std::size_t tail = wav.samples.size() > 4410 ? wav.samples.size() - 4410 : 0;
    EXPECT_TRUE(std::any_of(wav.samples.begin() + static_cast<std::ptrdiff_t>(tail), wav.samples.end(),
                            [](std::int16_t s) { return s != 0; }))
        << "the riff was playing up to the signal " << c.signal;
  }
}

TEST(QuitSignalTest, AKilledProgramLeavesAValidFile) {
  const std::string take = (TestFolder("quembrel_quit_kill") / "take.wav").string();
  int report = -1;
  const pid_t pid = StartRecordingProgram(OpenDialog::kNone, take, report);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitForReport(report));
  const Clock::time_point recording = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  const double recordedSeconds = SecondsSince(recording);
  kill(pid, SIGKILL);
  WaitForExit(pid, std::chrono::seconds(5));

  const WavFileContents wav = ReadWavFile(take);
  ASSERT_TRUE(wav.opened);
  EXPECT_EQ(wav.sampleRate, 44100);
  EXPECT_EQ(wav.riffSize, wav.dataSize + 36);
  EXPECT_LE(wav.dataSize, wav.bytes.size() - 44);
  EXPECT_EQ(wav.samples.size() * 2, wav.dataSize);
  EXPECT_GE(wav.samples.size(), static_cast<std::size_t>((recordedSeconds - 1.0 - 0.2) * 44100));
}

}  // namespace
