// Tests of the factory bank: its texts convert, mistakes in a text are refused with the file and
// line, conversion gives the same bytes every time, one bad line of the index costs one entry,
// and every sound and riff, rendered by quembrel-render, is audible, unclipped, unlike every other,
// and (for pitched sounds) at the pitch of the note played.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/output/wav_file_reader.h"
#include "bank/bank_catalog.h"
#include "bank/bank_text.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Runs a program with its standard output into outPath and its errors into errPath; returns its
// exit code.
int Spawn(std::vector<std::string> args, const std::string& outPath = "/dev/null",
          const std::string& errPath = "/dev/null") {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::map<std::string, std::vector<unsigned char>> FilesUnder(const fs::path& folder) {
  std::map<std::string, std::vector<unsigned char>> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_regular_file()) files[fs::relative(item.path(), folder).string()] = ReadFileBytes(item.path());
  }
  return files;
}

class TempFolder {
 public:
  TempFolder() : path(fs::temp_directory_path() / ("quembrel_bank_test_" + std::to_string(getpid()))) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempFolder() { fs::remove_all(path); }
  fs::path path;
};

TEST(BankTest, EveryTextConvertsAndTheBuiltBankIsExactlyTheTexts) {
  const CBankCatalog& bank = CBankCatalog::Installed();
  int sounds = 0;
  int riffs = 0;
  for (const char* kind : {"sounds", "riffs"}) {
    for (const auto& item : fs::directory_iterator(fs::path(QUEMBREL_BANK_SOURCE) / kind)) {
      BankText text;
      std::string error;
      ASSERT_TRUE(ReadBankText(item.path().string(), text, error)) << error;
      const BankEntry* entry = bank.Find(text.category->kind, text.name);
      ASSERT_NE(entry, nullptr) << text.name;
      EXPECT_EQ(entry->description, text.description);
      EXPECT_EQ(entry->category, text.category);
      const std::string bytes = ParamFileBytes(text);
      EXPECT_EQ(ReadFileBytes(entry->path), std::vector<unsigned char>(bytes.begin(), bytes.end())) << text.name;
      (text.category->kind == BankKind::kSound ? sounds : riffs)++;
    }
  }
  EXPECT_GE(sounds, 32);
  EXPECT_GE(riffs, 12);
  EXPECT_EQ(bank.GetEntries().size(), static_cast<std::size_t>(sounds + riffs));
}

TEST(BankTest, ConversionIsDeterministic) {
  TempFolder temp;
  const std::string source = QUEMBREL_BANK_SOURCE;
  ASSERT_EQ(Spawn({QUEMBREL_BANKGEN_BIN, source, (temp.path / "a").string()}), 0);
  ASSERT_EQ(Spawn({QUEMBREL_BANKGEN_BIN, source, (temp.path / "b").string()}), 0);
  const auto first = FilesUnder(temp.path / "a");
  EXPECT_EQ(first.size(), CBankCatalog::Installed().GetEntries().size() + 1);
  EXPECT_EQ(first, FilesUnder(temp.path / "b"));
}

// quembrel-render --list names every entry of the bank, one line each, with its kind and category.
TEST(BankTest, RenderToolListsTheBank) {
  TempFolder temp;
  const std::string listing = (temp.path / "list.txt").string();
  ASSERT_EQ(Spawn({QUEMBREL_RENDER_BIN, "--list"}, listing), 0);
  std::ifstream in(listing);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::vector<BankEntry>& entries = CBankCatalog::Installed().GetEntries();
  ASSERT_EQ(lines.size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::istringstream words(lines[i]);
    std::string kind, category, name;
    words >> kind >> category >> name;
    EXPECT_EQ(kind, entries[i].category->kind == BankKind::kSound ? "sound" : "riff");
    EXPECT_EQ(category, entries[i].category->word);
    EXPECT_EQ(name, entries[i].name);
  }
}

TEST(BankTest, MistakesAreRefusedWithFileAndLine) {
  const std::string head = "Name: x\nDescription: d\nCategory: bass\n";
  struct Case {
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {head + "Cutoff = 40\nCutof = 40\n", "t.txt:5: unknown parameter 'Cutof'"},
      {head + "Cutoff = 256\n", "t.txt:4: Cutoff = 256 is outside 1 to 255"},
      {head + "OscBTune = -49\n", "t.txt:4: OscBTune = -49 is outside -48 to 48"},
      {head + "Cutoff = 40\n\nCutoff = 41\n", "t.txt:6: 'Cutoff' is set twice"},
      {head + "Category: lead\n", "t.txt:4: a second Category line"},
      {head + "Cutoff = 4O\n", "t.txt:4: '4O' is not a whole number"},
      {head + "Bpm = 120\n", "t.txt:4: unknown parameter 'Bpm' for a sound"},
      {"Name: x\nDescription: d\nCategory: melody\nCutoff = 40\n", "t.txt:4: unknown parameter 'Cutoff' for a riff"},
      {"Name: x\nCategory: bass\nCutoff = 40\n", "t.txt:3: Name, Description and Category"},
      {head + "Cutoff 40\n", "t.txt:4: expected 'ParameterName = value'"},
      {"Name: X y\n", "t.txt:1: the name must be"},
  };
  for (const Case& c : cases) {
    BankText text;
    std::string error;
    EXPECT_FALSE(ParseBankText("t.txt", c.text, text, error)) << c.text;
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
  }
}

// What the converter refuses beyond a text's own mistakes, each with its file and line or the
// system's reason, never echoing a raw byte, and leaving no index behind.
TEST(BankTest, ConverterRefusesUnprintableTextsAndMissingFolders) {
  using namespace std::string_literals;
  const std::string head = "Name: bad\nCategory: bass\n";
  struct Case {
    std::string text;      // written as sounds/bad.txt when not empty
    std::string missing;   // a source folder taken away
    std::string blocker;   // a folder made where the converter must write a file
    std::string message;
  };
  const Case cases[] = {
      {head + "Description: one\ttab\n", "", "", "bad.txt:3: the description holds a control character (byte 0x09)"},
      {head + "Description: a\0b\n"s, "", "", "bad.txt:3: the description holds a control character (byte 0x00)"},
      {head + "Description: a\rb\n", "", "", "bad.txt:3: the description holds a control character (byte 0x0D)"},
      {head + "Description: a\xC2\x85 b\n", "", "", "bad.txt:3: the description holds a control character (U+0085)"},
      {head + "Description: caf\xE9\n", "", "", "sounds/bad.txt:3: the description holds bytes that are not UTF-8"},
      {head + "Description: \xC0\xAF\n", "", "", "sounds/bad.txt:3: the description holds bytes that are not UTF-8"},
      {"Name: b\x1B[2J\n", "", "", "sounds/bad.txt:1: the name holds a control character (byte 0x1B)"},
      {head + "Description: d\nCutoff = 99999999999999999999\n", "", "",
       "sounds/bad.txt:4: Cutoff = 99999999999999999999 is outside 1 to 255"},
      {head + "Description: d\n\x1B[2J\xFF = 1\n", "", "", "sounds/bad.txt:4: unknown parameter '\\x1B[2J\\xFF'"},
      {"", "sounds", "", "cannot read the folder "},
      {"", "riffs", "", "/riffs: no such file or folder"},
      {"", "", "sounds/ok.kv7", "cannot write "},
      {"", "", "sounds/ok.kv7", "/sounds/ok.kv7: it is a directory"},
  };
  for (const Case& c : cases) {
    TempFolder temp;
    const fs::path source = temp.path / "src";
    const fs::path output = temp.path / "out";
    fs::create_directories(source / "sounds");
    fs::create_directories(source / "riffs");
    std::ofstream(source / "sounds" / "ok.txt") << "Name: ok\nDescription: fine\nCategory: bass\n";
    std::ofstream(source / "riffs" / "ok-riff.txt") << "Name: ok-riff\nDescription: fine\nCategory: melody\n";
    if (!c.text.empty()) std::ofstream(source / "sounds" / "bad.txt", std::ios::binary) << c.text;
    if (!c.missing.empty()) fs::remove_all(source / c.missing);
    if (!c.blocker.empty()) fs::create_directories(output / c.blocker);
    const std::string errors = (temp.path / "errors.txt").string();
    EXPECT_EQ(Spawn({QUEMBREL_BANKGEN_BIN, source.string(), output.string()}, "/dev/null", errors), 1) << c.message;
    const std::vector<unsigned char> message = ReadFileBytes(errors);
    const std::string text(message.begin(), message.end());
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
    EXPECT_EQ(text.rfind("quembrel-bankgen: ", 0), 0u) << text;
    for (unsigned char b : message) EXPECT_TRUE(b == '\n' || (b >= 0x20 && b < 0x7F)) << text;
    EXPECT_FALSE(fs::exists(output / "bank.tsv")) << c.message;
  }
}

// A line of the index that does not make an entry costs that entry alone, reported with its line;
// what the converter writes reads back as it was given.
TEST(BankTest, ABadIndexLineCostsOnlyItsEntry) {
  const BankCategory& bass = kBankCategories[0];
  struct Line {
    std::string text;
    std::string problem;  // empty for a line that makes an entry
  };
  const Line lines[] = {
      {CBankCatalog::IndexLine(bass, "first", "Plain."), ""},
      {"sound\tbass\ttabbed\tone\ttab too many\n", ":2: expected 4 tab-separated fields, found 5"},
      {CBankCatalog::IndexLine(bass, "slashed", "A \\ and a \\x41."), ""},
      {"sound\tbass\t../../escape\tOut of the folder.\n", ":4: '../../escape' is not a bank name"},
      {"riff\tbass\twrong-kind\tA sound's category.\n", ":5: no riff category 'bass'"},
      {CBankCatalog::IndexLine(bass, "tabbed", "Escaped\ttab."), ":6: the description holds a control character"},
      {"sound\tbass\tbroken\tEnds in \\x4\n", ":7: a broken escape"},
      {"sound\tbass\tcarriage\tReturned.\r\n", ":8: the description holds a control character (byte 0x0D)"},
      {"sound\tbass\tfirst\tAgain.\n", ":9: a second sound named 'first'"},
      {"\n", ":10: expected 4 tab-separated fields, found 1"},
      {CBankCatalog::IndexLine(kBankCategories[9], "last", "Caf\xC3\xA9 melody."), ""},
  };
  TempFolder temp;
  {
    std::ofstream index(temp.path / "bank.tsv", std::ios::binary);
    for (const Line& line : lines) index << line.text;
  }
  CBankCatalog bank;
  ASSERT_TRUE(bank.Load(temp.path.string()));
  std::vector<std::string> names;
  for (const BankEntry& entry : bank.GetEntries()) names.push_back(entry.name + ": " + entry.description);
  EXPECT_EQ(names, (std::vector<std::string>{"first: Plain.", "slashed: A \\ and a \\x41.",
                                              "last: Caf\xC3\xA9 melody."}));
  std::vector<std::string> expected;
  for (const Line& line : lines) {
    if (!line.problem.empty()) expected.push_back(line.problem);
  }
  ASSERT_EQ(bank.GetProblems().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NE(bank.GetProblems()[i].find(expected[i]), std::string::npos) << bank.GetProblems()[i];
    EXPECT_EQ(bank.GetProblems()[i].rfind((temp.path / "bank.tsv").string(), 0), 0u) << bank.GetProblems()[i];
  }
  EXPECT_EQ(bank.Find(BankKind::kSound, "slashed")->path, (temp.path / "sounds" / "slashed.kv7").string());
}

// The fundamental by the normalised difference function over the loudest stretch of the render.
double MeasurePitch(const std::vector<std::int16_t>& s) {
  constexpr int kWindow = 2048;
  constexpr int kMaxLag = 1100;
  std::size_t best = 0;
  double bestEnergy = -1.0;
  for (std::size_t at = 0; at + kWindow + kMaxLag < s.size(); at += 1024) {
    double energy = 0.0;
    for (int i = 0; i < kWindow; ++i) energy += double(s[at + i]) * s[at + i];
    if (energy > bestEnergy) {
      bestEnergy = energy;
      best = at;
    }
  }
  std::vector<double> d(kMaxLag + 1, 0.0);
  double running = 0.0;
  for (int lag = 1; lag <= kMaxLag; ++lag) {
    double sum = 0.0;
    for (int i = 0; i < kWindow; ++i) {
      const double diff = double(s[best + i]) - s[best + i + lag];
      sum += diff * diff;
    }
    running += sum;
    d[lag] = running > 0.0 ? sum * lag / running : 1.0;
  }
  int lag = 20;
  while (lag < kMaxLag && d[lag] >= 0.2) ++lag;
  if (lag == kMaxLag) {
    for (int i = 20; i < kMaxLag; ++i) lag = d[i] < d[lag] ? i : lag;
  }
  while (lag + 1 < kMaxLag && d[lag + 1] < d[lag]) ++lag;
  const double a = d[lag - 1], b = d[lag], c = d[lag + 1];
  const double shift = (a - 2.0 * b + c) != 0.0 ? 0.5 * (a - c) / (a - 2.0 * b + c) : 0.0;
  return 44100.0 / (lag + shift);
}

TEST(BankTest, EverySoundAndRiffRendersAudibleUnclippedDistinctAndInTune) {
  TempFolder temp;
  std::map<std::vector<std::int16_t>, std::string> renders;
  for (const BankEntry& entry : CBankCatalog::Installed().GetEntries()) {
    const bool sound = entry.category->kind == BankKind::kSound;
    const std::string wav = (temp.path / (entry.name + ".wav")).string();
    // A held note of each sound at 440 Hz; each riff played by the default sound.
    std::vector<std::string> args = {QUEMBREL_RENDER_BIN, "-o", wav, "--seconds", sound ? "2" : "3"};
    for (const std::string& more : sound ? std::vector<std::string>{"--preset", entry.name, "--no-play", "--note-on"}
                                         : std::vector<std::string>{"--riff", entry.name}) {
      args.push_back(more);
    }
    ASSERT_EQ(Spawn(args), 0) << entry.name;
    const std::vector<std::int16_t> s = ReadWavFile(wav).samples;
    ASSERT_FALSE(s.empty()) << entry.name;
    double energy = 0.0;
    std::size_t clipped = 0;
    for (std::int16_t v : s) {
      energy += double(v) * v;
      clipped += (v >= 32767 || v <= -32767) ? 1 : 0;
    }
    const double rms = std::sqrt(energy / s.size()) / 32768.0;
    const double clippedShare = double(clipped) / s.size();
    EXPECT_GT(rms, 0.01) << entry.name;
    EXPECT_LT(clippedShare, 0.01) << entry.name;
    const auto [previous, added] = renders.emplace(s, entry.name);
    EXPECT_TRUE(added) << entry.name << " renders exactly as " << previous->second;

    std::string pitch = "-";
    if (sound && std::string(entry.category->word) != "fx") {
      const double hz = MeasurePitch(s);
      const double cents = 1200.0 * std::log2(hz / 440.0);
      // The octave below counts as the note: several sounds rest on the sub-oscillator.
      EXPECT_LT(std::fabs(cents - 1200.0 * std::round(cents / 1200.0)), 100.0) << entry.name << " at " << hz << " Hz";
      char text[32];
      std::snprintf(text, sizeof text, "%.1f Hz", hz);
      pitch = text;
    }
    // The shape over time, for the record: where the loudest 50 ms lie and how loud the last are.
    constexpr std::size_t kSlice = 2205;
    double peak = 0.0, last = 0.0;
    std::size_t peakAt = 0;
    for (std::size_t at = 0; at + kSlice <= s.size(); at += kSlice) {
      double e = 0.0;
      for (std::size_t i = at; i < at + kSlice; ++i) e += double(s[i]) * s[i];
      last = std::sqrt(e / kSlice);
      if (last > peak) {
        peak = last;
        peakAt = at;
      }
    }
    char end[32] = "silent";
    if (last >= 1.0) std::snprintf(end, sizeof end, "%.1f dB", 20.0 * std::log10(last / peak));
    std::printf("%-8s %-18s rms %5.1f dBFS, clipped %.2f %%, loudest at %4zu ms, last 50 ms %s, pitch %s\n",
                entry.category->word, entry.name.c_str(), 20.0 * std::log10(rms), 100.0 * clippedShare,
                peakAt * 1000 / 44100, end, pitch.c_str());
  }
}

}  // namespace
