// End-to-end tests of quembrel-render: exit codes and messages for bad input (bank names of the
// wrong kind included) with no output left behind, the parameter listing, and that the file it
// writes equals, sample for sample, the same blocks rendered in this process through the block
// renderer.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "output/block_renderer.h"
#include "output/distortion.h"
#include "output/echo_delay.h"
#include "output/post_process_params.h"
#include "sequencer/riff_params.h"
#include "sequencer/riff_player.h"
#include "harness/fresh_modules.h"
#include "tests/output/wav_file_reader.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class RenderToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("quembrel_render_tool_test_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "work");
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string PathOf(const std::string& name) const { return (dir / "work" / name).string(); }

  // The tool's command line as posix_spawn takes it; `all` holds the strings.
  static std::vector<char*> CommandLine(const std::vector<std::string>& args, std::vector<std::string>& all) {
    all = {QUEMBREL_RENDER_BIN};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    return argv;
  }

  ToolRun Run(const std::vector<std::string>& args) const {
    std::vector<std::string> all;
    std::vector<char*> argv = CommandLine(args, all);
    const std::string outPath = (dir / "stdout").string();
    const std::string errPath = (dir / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ToolRun run;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
  }

  // Runs the tool and reads what it writes while it runs: its standard output through a pipe when
  // `fifo` is empty, else the FIFO, opened for reading as a player would, which quits once it has
  // `stopAfter` bytes.
  std::vector<unsigned char> RunReading(const std::vector<std::string>& args, const std::string& fifo, int& exitCode,
                                        std::size_t stopAfter = SIZE_MAX) const {
    std::vector<std::string> all;
    std::vector<char*> argv = CommandLine(args, all);
    int ends[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (fifo.empty()) {
      EXPECT_EQ(pipe(ends), 0);
      posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
      posix_spawn_file_actions_addclose(&actions, ends[0]);
    }
    const std::string errPath = (dir / "stderr").string();
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    exitCode = -1;
    std::vector<unsigned char> bytes;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int from = ends[0];
      if (fifo.empty()) {
        close(ends[1]);
      } else {
        from = open(fifo.c_str(), O_RDONLY);
      }
      unsigned char buffer[4096];
      ssize_t got = 0;
      while (from >= 0 && bytes.size() < stopAfter && (got = read(from, buffer, sizeof buffer)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
      }
      close(from);
      int status = 0;
      waitpid(pid, &status, 0);
      exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    return bytes;
  }

  // Writes a parameter file holding count values (count may differ from the values given).
  void WriteParamFile(const std::string& path, int count, const std::vector<int>& values) const {
    std::ofstream out(path, std::ios::binary);
    auto put = [&](int v) {
      out.put(static_cast<char>(v & 0xFF));
      out.put(static_cast<char>((v >> 8) & 0xFF));
    };
    put(count);
    for (int v : values) {
      put(v);
    }
  }

  std::vector<std::string> WorkFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir / "work")) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir;
};

// The render tool's steps, done here by hand through the same modules and renderer.
std::vector<std::int16_t> RenderInProcess(const std::string& preset, const std::string& riff,
                                          bool play, bool noteOn, int blockFrames, int frames) {
  g_distortion.Init();
  g_echoDelay.Init();
  CreateFreshModules();
  if (!preset.empty()) {
    EXPECT_TRUE(g_voice->LoadParams(preset.c_str()));
    for (int index : {kDistAmount, kDelayTime, kDelayFeedback}) {
      g_voice->SetParam(index, g_voice->GetParam(index));
      ApplyPostProcessParam(index, g_voice->GetParam(index));
    }
  }
  if (!riff.empty()) {
    EXPECT_TRUE(g_riffPlayer->LoadParams(riff.c_str()));
  }
  if (play) {
    g_riffPlayer->Play();
  }
  if (noteOn) {
    g_voice->NoteOn();
  }
  std::vector<std::int16_t> samples(frames);
  for (int at = 0; at < frames; at += blockFrames) {
    RenderBlock(samples.data() + at, std::min(blockFrames, frames - at) * 2);
  }
  return samples;
}

TEST_F(RenderToolTest, FileEqualsTheSameBlocksRenderedInProcess) {
  const std::string preset = PathOf("dirty.kv7");
  const std::string riff = PathOf("fast.riff");
  {
    CSynthVoice voice;
    voice.Init();
    const int settings[][2] = {{kDistAmount, 35}, {kDelayTime, 180}, {kDelayFeedback, 70},
                               {kCutoff, 60},     {kFltEnvAmount, 90}, {kOscAWave, 0}};
    for (const auto& s : settings) {
      voice.SetParam(s[0], static_cast<ParamValue>(s[1]));
    }
    ASSERT_TRUE(voice.SaveParams(preset.c_str()));
    CRiffPlayer player;
    player.Init();
    player.SetParam(kBpm, 150);
    player.SetParam(kTranspose, -5);
    player.SetParam(kStepGate0 + 3, 0);
    ASSERT_TRUE(player.SaveParams(riff.c_str()));
  }
  const struct {
    std::vector<std::string> args;
    std::string preset;
    std::string riff;
    bool play;
    bool noteOn;
    int block;
    int frames;
  } cases[] = {
      {{}, "", "", true, false, 882, 441000},
      {{"--preset", preset, "--riff", riff, "--block", "1000", "--frames", "60001"},
       preset, riff, true, false, 1000, 60001},
      {{"--preset=" + preset, "--no-play", "--note-on", "--seconds", "0.5", "--block", "4096"},
       preset, "", false, true, 4096, 22050},
      {{"--riff", riff, "--note-on", "--block=7", "--frames=3000"}, "", riff, true, true, 7, 3000},
      {{"--no-play", "--frames", "5000"}, "", "", false, false, 882, 5000},
      {{"--frames", "0"}, "", "", true, false, 882, 0},
  };
  for (const auto& c : cases) {
    const std::string output = PathOf("take.wav");
    std::vector<std::string> args = {"-o", output};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun run = Run(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const WavFileContents wav = ReadWavFile(output);
    EXPECT_TRUE(IsCompleteWav(wav));
    const std::vector<std::int16_t> expected =
        RenderInProcess(c.preset, c.riff, c.play, c.noteOn, c.block, c.frames);
    ASSERT_EQ(wav.samples.size(), expected.size());
    EXPECT_TRUE(wav.samples == expected) << "first case argument: " << (c.args.empty() ? "" : c.args[0]);
    const bool silent = std::all_of(expected.begin(), expected.end(), [](std::int16_t s) { return s == 0; });
    EXPECT_EQ(silent, c.frames == 0 || (!c.play && !c.noteOn)) << c.frames;
  }
  EXPECT_EQ(fs::file_size(PathOf("take.wav")), 44u);
  EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"dirty.kv7", "fast.riff", "take.wav"}));
}

TEST_F(RenderToolTest, BadInputGivesOneMessageAndLeavesNoOutput) {
  const std::string preset = PathOf("voice.kv7");
  const std::string riff = PathOf("riff.riff");
  const std::string tooLong = PathOf("too-long.kv7");
  WriteParamFile(preset, 37, std::vector<int>(37, 1));
  WriteParamFile(riff, 36, std::vector<int>(36, 1));
  WriteParamFile(tooLong, 38, std::vector<int>(38, 1));
  const std::string out = PathOf("out.wav");
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  } cases[] = {
      {{}, 2, "no output file given"},
      {{"--frames", "100"}, 2, "no output file given"},
      {{"-o"}, 2, "needs a value"},
      {{"-o", ""}, 2, "output file name is empty"},
      {{"-o", out, "--bogus"}, 2, "unknown option '--bogus'"},
      {{"-o", out, "extra"}, 2, "unexpected argument 'extra'"},
      {{"-o", out, "--frames", "abc"}, 2, "--frames must be"},
      {{"-o", out, "--frames", "-1"}, 2, "--frames must be"},
      {{"-o", out, "--frames", "12x"}, 2, "--frames must be"},
      {{"-o", out, "--frames", "99999999999999999999"}, 2, "--frames must be"},
      {{"-o", out, "--frames", "2147483630"}, 2, "too long for a WAV file"},
      {{"-o", out, "--seconds", "nan"}, 2, "--seconds must be"},
      {{"-o", out, "--seconds", "-0.5"}, 2, "--seconds must be"},
      {{"-o", out, "--seconds", "1e300"}, 2, "too long for a WAV file"},
      {{"-o", out, "--seconds", "1", "--frames", "5"}, 2, "not both"},
      {{"-o", out, "--block", "0"}, 2, "--block must be"},
      {{"-o", out, "--block", "4097"}, 2, "--block must be"},
      {{"-o", out, "--no-play=yes"}, 2, "takes no value"},
      {{"-o", out, "--preset", PathOf("missing.kv7")}, 1, "cannot read preset"},
      {{"-o", out, "--preset", tooLong}, 1, "is not a preset file"},
      {{"-o", out, "--riff", preset}, 1, "is not a riff file"},
      {{"-o", out, "--riff", PathOf("")}, 1, "riff"},
      {{"-o", PathOf("no/such/dir/out.wav"), "--frames", "10"}, 1, "cannot write"},
      {{"-o", out, "--preset="}, 2, "the preset's file or bank name is empty"},
      {{"-o", out, "--riff", ""}, 2, "the riff's file or bank name is empty"},
      {{"-o", out, "--seconds", "0x10"}, 2, "--seconds must be"},
      {{"-o", out, "--seconds", " 1"}, 2, "--seconds must be"},
      {{"-o", out, "--seconds", "1 "}, 2, "--seconds must be"},
      {{"-o", out, "--frames", " 5"}, 2, "--frames must be"},
      {{"-o", out, "--block", "0x10"}, 2, "--block must be"},
      {{"-o", out, "--preset", "acid-line"}, 1,
       "nor a sound of the factory bank: the bank has it as a riff, use --riff acid-line"},
      {{"-o", out, "--riff", "acid-bass"}, 1,
       "nor a riff of the factory bank: the bank has it as a sound, use --preset acid-bass"},
      {{"-o", out, "--riff", "no-such-riff"}, 1,
       "neither a readable file (no such file or folder) nor a riff of the factory bank; "
       "'quembrel-render --list' lists the bank"},
      {{"-o", PathOf(""), "--frames", "10"}, 1, "is a directory"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Run(c.args);
    const std::string label = c.args.empty() ? "(no arguments)" : c.args.back();
    EXPECT_EQ(run.exitCode, c.exitCode) << label << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << label << ": " << run.err;
    EXPECT_EQ(run.err.rfind("quembrel-render: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "") << label;
    EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"riff.riff", "too-long.kv7", "voice.kv7"}))
        << label;
  }
}

// Where -o leads: a link is followed and stays, an existing file keeps its permissions, a name of
// the longest valid length works, and a device, a FIFO and standard output are written through
// with the same bytes a file gets; no temporary file is left anywhere.
TEST_F(RenderToolTest, OutputGoesWhereTheNameLeads) {
  const std::vector<std::string> options = {"--frames", "5000"};
  auto withOutput = [&options](const std::string& output) {
    std::vector<std::string> args = {"-o", output};
    args.insert(args.end(), options.begin(), options.end());
    return args;
  };
  ASSERT_EQ(Run(withOutput(PathOf("reference.wav"))).exitCode, 0);
  const std::vector<unsigned char> reference = ReadFileBytes(PathOf("reference.wav"));
  ASSERT_TRUE(IsCompleteWav(ReadWavFile(PathOf("reference.wav"))));

  fs::create_directories(dir / "takes");
  fs::create_symlink("../takes/take.wav", PathOf("link.wav"));
  { std::ofstream(PathOf("private.wav")) << "an older take"; }
  fs::permissions(PathOf("private.wav"), fs::perms::owner_read | fs::perms::owner_write);
  const std::string longName = std::string(251, 'n') + ".wav";
  const struct {
    std::string output;
    fs::path landsIn;
  } files[] = {
      {PathOf("link.wav"), dir / "takes" / "take.wav"},
      {PathOf("private.wav"), PathOf("private.wav")},
      {PathOf(longName), PathOf(longName)},
  };
  for (const auto& c : files) {
    const ToolRun run = Run(withOutput(c.output));
    EXPECT_EQ(run.exitCode, 0) << c.output.substr(0, 80) << ": " << run.err;
    EXPECT_EQ(ReadFileBytes(c.landsIn.string()), reference) << c.output.substr(0, 80);
  }
  EXPECT_TRUE(fs::is_symlink(PathOf("link.wav")));
  EXPECT_EQ(fs::status(PathOf("private.wav")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  const ToolRun toNull = Run(withOutput("/dev/null"));
  EXPECT_EQ(toNull.exitCode, 0) << toNull.err;
  struct stat null {};
  ASSERT_EQ(stat("/dev/null", &null), 0);
  EXPECT_TRUE(S_ISCHR(null.st_mode));

  ASSERT_EQ(mkfifo(PathOf("player").c_str(), 0600), 0);
  for (const std::string& output : {PathOf("player"), std::string("-")}) {
    int exitCode = -1;
    const std::vector<unsigned char> streamed = RunReading(withOutput(output), output == "-" ? "" : output, exitCode);
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_EQ(streamed, reference) << output;
  }
  // A player that quits early fails the render with a message rather than killing it.
  int exitCode = -1;
  RunReading({"-o", "-", "--seconds", "60"}, "", exitCode, 1000);
  EXPECT_EQ(exitCode, 1);
  EXPECT_NE(ReadText(dir / "stderr").find("standard output failed: the reader closed the pipe"), std::string::npos)
      << ReadText(dir / "stderr");
  EXPECT_TRUE(fs::is_fifo(PathOf("player")));
  EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"link.wav", longName, "player", "private.wav", "reference.wav"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "takes"), fs::directory_iterator()), 1);
}

TEST_F(RenderToolTest, HelpAndParameterListing) {
  const ToolRun help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: quembrel-render", 0), 0u);
  const ToolRun version = Run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("quembrel-render 1.", 0), 0u) << version.out;
  EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1) << version.out;

  const std::string riff = PathOf("short.riff");
  WriteParamFile(riff, 3, {7, 123, -12});
  const ToolRun listing = Run({"--riff", riff, "--print-params"});
  EXPECT_EQ(listing.exitCode, 0) << listing.err;
  EXPECT_EQ(std::count(listing.out.begin(), listing.out.end(), '\n'), 37 + 36);
  EXPECT_NE(listing.out.find("voice  0  MasterVolume      100\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("riff   1  Bpm               123\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("riff   2  Transpose         -12\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("riff   4  StepNote0          30\n"), std::string::npos) << listing.out;
  EXPECT_EQ(WorkFiles(), std::vector<std::string>{"short.riff"});
}

}  // namespace
