// quembrel-render: renders the voice, played by the riff player, to a WAV file without a sound
// device. It sets the modules up exactly as the synth panel's start-up does, loads a preset and a
// riff the way the panels do, and then calls the same block renderer the audio thread calls, so the
// file holds the very samples the program would play. It reports every failure. A regular file is
// written to a temporary file beside it that takes its name only on success; a device, a FIFO or
// standard output ("-o -") is written through, with the header's sizes known before the first
// sample, so the output can be piped into a player.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/output_file.h"
#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "output/block_renderer.h"
#include "output/post_process_params.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_params.h"
#include "sequencer/riff_player.h"
#include "bank/bank_catalog.h"
#include "tools/render/progress_bar.h"
#include "tools/render/render_options.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

std::atomic<bool> g_interrupted{false};

void OnSignal(int) { g_interrupted.store(true); }

int Fail(const std::string& message) {
  std::fprintf(stderr, "quembrel-render: %s\n", message.c_str());
  return kExitFailure;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Loads a parameter file as the panels do, after checking that it can be opened at all so that the
// message can tell "unreadable" from "not this kind of file".
bool LoadModule(CSoundModule& module, const std::string& path, const char* kind, std::string& error) {
  std::FILE* probe = std::fopen(path.c_str(), "rb");
  if (probe == nullptr) {
    error = std::string("cannot read ") + kind + " " + Quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  std::fclose(probe);
  if (!module.LoadParams(path.c_str())) {
    error = Quoted(path) + " is not a " + kind + " file of at most " +
            std::to_string(module.GetParamCount()) + " values";
    return false;
  }
  return true;
}

int PrintBank() {
  const CBankCatalog& bank = CBankCatalog::Installed();
  if (bank.GetEntries().empty()) {
    return Fail("no factory bank found in " + Quoted(CBankCatalog::InstalledFolder()));
  }
  for (const BankEntry& entry : bank.GetEntries()) {
    std::printf("%-6s %-9s %-20s %s\n", entry.category->kind == BankKind::kSound ? "sound" : "riff",
                entry.category->word, entry.name.c_str(), entry.description.c_str());
  }
  return EXIT_SUCCESS;
}

void PrintParams() {
  for (int i = 0; i < g_voice->GetParamCount(); ++i) {
    std::printf("voice %2d  %-14s %6d\n", i, kVoiceParams[i].name, g_voice->GetParam(i));
  }
  for (int i = 0; i < g_riffPlayer->GetParamCount(); ++i) {
    std::printf("riff  %2d  %-14s %6d\n", i, kRiffParams[i].name, g_riffPlayer->GetParam(i));
  }
}

int Render(const RenderOptions& options) {
  const bool toStandardOutput = options.output == "-";
  const std::string name = toStandardOutput ? "standard output" : Quoted(options.output);
  COutputFile output;
  const bool opened = toStandardOutput ? output.OpenStandardOutput()
                                       : output.Open(options.output.c_str(), OutputTargets::kAnyWritable);
  if (!opened) {
    return Fail("cannot write " + name + ": " + output.ErrorText());
  }
  if (!g_wavRecorder.Start(output, static_cast<std::int32_t>(options.frames))) {
    const int cause = g_wavRecorder.GetFileError();
    g_wavRecorder.Finish();
    return Fail("cannot write " + name + ": " + COutputFile::Describe(cause));
  }

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGHUP, OnSignal);
  // A player that quits early is a failed write with a message and status 1, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::int16_t> block(static_cast<std::size_t>(options.blockFrames));
  CProgressBar progress(options.frames);
  std::int64_t done = 0;
  while (done < options.frames && !g_interrupted.load() && !g_wavRecorder.HasWriteFailed()) {
    const std::int64_t left = options.frames - done;
    const int n = left < options.blockFrames ? static_cast<int>(left) : options.blockFrames;
    RenderBlock(block.data(), n * 2);
    g_wavRecorder.Drain();
    done += n;
    progress.Update(done);
  }
  const bool complete = g_wavRecorder.Finish();
  progress.End(done);

  if (g_interrupted.load()) {
    output.Close();
    std::fprintf(stderr, "quembrel-render: interrupted; %s not written\n", name.c_str());
    return kExitInterrupted;
  }
  if (!complete || !output.Commit() || !output.Close()) {
    const int cause = g_wavRecorder.GetFileError() != 0 ? g_wavRecorder.GetFileError() : output.Error();
    return Fail("writing " + name + " failed: " + COutputFile::Describe(cause));
  }
  return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  RenderOptions options;
  std::string error;
  if (!ParseRenderOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "quembrel-render: %s (see 'quembrel-render --help')\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kRenderUsage, stdout);
    return EXIT_SUCCESS;
  }
  if (options.version) {
    std::printf("quembrel-render %s\n", QUEMBREL_VERSION);
    return EXIT_SUCCESS;
  }

  if (options.list) {
    return PrintBank();
  }

  // The program's start-up; the effects keep the initial state they were constructed with.
  StartProgramModules();
  std::string path;
  if (!options.preset.empty()) {
    if (!CBankCatalog::Installed().ResolveName(BankKind::kSound, options.preset, path, error) ||
        !LoadModule(*g_voice, path, "preset", error)) {
      return Fail(error);
    }
    ApplyPostProcessParams(*g_voice);
  }
  if (!options.riff.empty() && (!CBankCatalog::Installed().ResolveName(BankKind::kRiff, options.riff, path, error) ||
                                !LoadModule(*g_riffPlayer, path, "riff", error))) {
    return Fail(error);
  }
  if (options.printParams) {
    PrintParams();
    return EXIT_SUCCESS;
  }
  if (options.play) {
    g_riffPlayer->Play();
  }
  if (options.noteOn) {
    g_voice->NoteOn();
  }
  return Render(options);
}
