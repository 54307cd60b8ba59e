// The parameter file through real files: round trips, the exact bytes, every refusal, bad paths,
// and thousands of random and truncated files that must be applied whole or not at all.
#include "engine/sound_module.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/synth_voice.h"
#include "sequencer/riff_player.h"

namespace {

namespace fs = std::filesystem;

class ParamFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quembrel-params-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    voice.Init();
    riff.Init();
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string PathOf(const char* name) const { return (dir / name).string(); }

  std::string WriteBytes(const char* name, const std::vector<unsigned char>& bytes) const {
    const std::string path = PathOf(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  static std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
  }

  static std::vector<unsigned char> ParamFile(int count, const std::vector<int>& values) {
    std::vector<unsigned char> bytes = {static_cast<unsigned char>(count & 0xFF),
                                        static_cast<unsigned char>((count >> 8) & 0xFF)};
    for (int v : values) {
      bytes.push_back(static_cast<unsigned char>(v & 0xFF));
      bytes.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
    }
    return bytes;
  }

  static std::vector<ParamValue> Snapshot(CSoundModule& module) {
    std::vector<ParamValue> values;
    for (int i = 0; i < module.GetParamCount(); ++i) values.push_back(module.GetParam(i));
    return values;
  }

  fs::path dir;
  CSynthVoice voice;
  CRiffPlayer riff;
};

TEST_F(ParamFileTest, SavedFilesHaveTheExactBytes) {
  const std::string preset = PathOf("default.kv7");
  ASSERT_TRUE(voice.SaveParams(preset.c_str()));
  const std::vector<unsigned char> bytes = ReadBytes(preset);
  ASSERT_EQ(bytes.size(), 76u);
  const std::vector<unsigned char> start = {0x25, 0x00, 0x64, 0x00, 0x32, 0x00, 0x01, 0x00};
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 8), start);

  const std::string riffPath = PathOf("default.riff");
  ASSERT_TRUE(riff.SaveParams(riffPath.c_str()));
  const std::vector<unsigned char> riffBytes = ReadBytes(riffPath);
  ASSERT_EQ(riffBytes.size(), 74u);
  EXPECT_EQ(riffBytes[0], 0x24);
  EXPECT_EQ(riffBytes[1], 0x00);
  EXPECT_FALSE(fs::exists(preset + ".part"));
}

TEST_F(ParamFileTest, RoundTripKeepsEveryValueIncludingNegatives) {
  for (int i = 0; i < 37; ++i) voice.SetParam(i, static_cast<ParamValue>(i * 37 - 600));
  riff.SetParam(kTranspose, -48);
  const std::string preset = PathOf("p.kv7");
  const std::string riffPath = PathOf("r.riff");
  ASSERT_TRUE(voice.SaveParams(preset.c_str()));
  ASSERT_TRUE(riff.SaveParams(riffPath.c_str()));
  const std::vector<unsigned char> riffBytes = ReadBytes(riffPath);
  EXPECT_EQ(riffBytes[2 + 2 * kTranspose], 0xD0);
  EXPECT_EQ(riffBytes[3 + 2 * kTranspose], 0xFF);

  CSynthVoice other;
  other.Init();
  CRiffPlayer otherRiff;
  otherRiff.Init();
  ASSERT_TRUE(other.LoadParams(preset.c_str()));
  ASSERT_TRUE(otherRiff.LoadParams(riffPath.c_str()));
  EXPECT_EQ(Snapshot(other), Snapshot(voice));
  EXPECT_EQ(Snapshot(otherRiff), Snapshot(riff));
}

TEST_F(ParamFileTest, CountDecidesWhatIsAccepted) {
  struct Case {
    const char* name;
    int count;
    int values;  // how many values follow the count
    bool voiceAccepts;
    int voiceChanged;  // parameters that take the file's values
    bool riffAccepts;
    int riffChanged;
  };
  const Case cases[] = {
      {"preset", 37, 37, true, 37, false, 0},
      {"riff", 36, 36, true, 36, true, 36},
      {"short count", 5, 5, true, 5, true, 5},
      {"trailing bytes ignored", 3, 10, true, 3, true, 3},
      {"count zero", 0, 0, true, 0, true, 0},
      {"negative count", -4, 4, true, 0, true, 0},
      {"count above both", 38, 38, false, 0, false, 0},
      {"huge count", 32767, 40, false, 0, false, 0},
      {"truncated values", 10, 9, false, 0, false, 0},
      {"truncated preset", 37, 36, false, 0, false, 0},
  };
  for (const Case& c : cases) {
    std::vector<int> values;
    for (int i = 0; i < c.values; ++i) values.push_back(1000 + i);
    const std::string path = WriteBytes("case.bin", ParamFile(c.count, values));
    for (bool isVoice : {true, false}) {
      SetUp();
      CSoundModule& module = isVoice ? static_cast<CSoundModule&>(voice) : riff;
      const std::vector<ParamValue> before = Snapshot(module);
      EXPECT_EQ(module.LoadParams(path.c_str()), isVoice ? c.voiceAccepts : c.riffAccepts) << c.name;
      const int changed = isVoice ? c.voiceChanged : c.riffChanged;
      for (int i = 0; i < module.GetParamCount(); ++i) {
        EXPECT_EQ(module.GetParam(i), i < changed ? 1000 + i : before[i]) << c.name << " param " << i;
      }
    }
  }
}

TEST_F(ParamFileTest, FilesTooShortForACount) {
  for (const std::vector<unsigned char>& bytes : {std::vector<unsigned char>{}, std::vector<unsigned char>{0x05}}) {
    const std::string path = WriteBytes("short.bin", bytes);
    const std::vector<ParamValue> before = Snapshot(voice);
    EXPECT_FALSE(voice.LoadParams(path.c_str()));
    EXPECT_EQ(Snapshot(voice), before);
  }
}

TEST_F(ParamFileTest, BadPaths) {
  const std::string missingDir = PathOf("no-such-dir/x.kv7");
  EXPECT_FALSE(voice.SaveParams(missingDir.c_str()));
  EXPECT_FALSE(fs::exists(PathOf("no-such-dir")));
  EXPECT_FALSE(voice.LoadParams(missingDir.c_str()));
  EXPECT_FALSE(voice.LoadParams(PathOf("absent.kv7").c_str()));
  EXPECT_FALSE(voice.LoadParams(nullptr));
  EXPECT_FALSE(voice.SaveParams(nullptr));
  EXPECT_FALSE(voice.LoadParams(""));
  EXPECT_FALSE(voice.SaveParams(""));
  // A directory is neither read nor replaced.
  fs::create_directory(PathOf("folder"));
  EXPECT_FALSE(voice.LoadParams(PathOf("folder").c_str()));
  EXPECT_FALSE(voice.SaveParams(PathOf("folder").c_str()));
  EXPECT_TRUE(fs::is_directory(PathOf("folder")));
  // A pipe would block a reader for ever; it is refused.
  ASSERT_EQ(mkfifo(PathOf("pipe").c_str(), 0600), 0);
  EXPECT_FALSE(voice.LoadParams(PathOf("pipe").c_str()));
  EXPECT_FALSE(voice.SaveParams(PathOf("pipe").c_str()));
  for (int i = 0; i < 37; ++i) EXPECT_EQ(voice.GetParam(i), kVoiceParams[i].defaultValue);
}

TEST_F(ParamFileTest, SaveReplacesAnOldFileWholeAndFollowsLinks) {
  const std::string path = WriteBytes("old.kv7", std::vector<unsigned char>(500, 0xAB));
  ASSERT_TRUE(voice.SaveParams(path.c_str()));
  EXPECT_EQ(ReadBytes(path).size(), 76u);

  const std::string link = PathOf("link.kv7");
  fs::create_symlink(path, link);
  voice.SetParam(kMasterVolume, 42);
  ASSERT_TRUE(voice.SaveParams(link.c_str()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadBytes(path)[2], 42);
}

TEST_F(ParamFileTest, SaveIntoAReadOnlyDirectoryFailsAndKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  const std::string path = WriteBytes("keep.kv7", ParamFile(1, {7}));
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(voice.SaveParams(path.c_str()));
  fs::permissions(dir, fs::perms::owner_all);
  EXPECT_EQ(ReadBytes(path), ParamFile(1, {7}));
}

// Random and truncated files: each is either applied whole or leaves the module as it was.
TEST_F(ParamFileTest, RandomFilesApplyWholeOrNotAtAll) {
  std::mt19937 random(1234);
  const std::string path = PathOf("fuzz.bin");
  CSynthVoice fuzzVoice;
  fuzzVoice.Init();
  CRiffPlayer fuzzRiff;
  fuzzRiff.Init();
  fuzzRiff.Attach(&fuzzVoice);
  fuzzRiff.Play();
  fuzzVoice.NoteOn();
  std::vector<StereoFrame> frames(64);
  for (int round = 0; round < 3000; ++round) {
    std::vector<unsigned char> bytes;
    const int kind = round % 3;
    if (kind == 0) {
      bytes.resize(random() % 90);
      for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
    } else {
      // A plausible count with random values, then cut anywhere.
      std::vector<int> values(random() % 40);
      for (int& v : values) v = static_cast<int>(random() % 65536) - 32768;
      const int count = kind == 1 ? static_cast<int>(values.size()) : static_cast<int>(random() % 80) - 20;
      bytes = ParamFile(count, values);
      bytes.resize(random() % (bytes.size() + 1));
    }
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const int count = bytes.size() >= 2 ? static_cast<ParamValue>(bytes[0] | (bytes[1] << 8)) : -1;
    for (bool isVoice : {true, false}) {
      CSoundModule& module = isVoice ? static_cast<CSoundModule&>(fuzzVoice) : fuzzRiff;
      const std::vector<ParamValue> before = Snapshot(module);
      const bool loaded = module.LoadParams(path.c_str());
      const bool whole = bytes.size() >= 2 && count <= module.GetParamCount() &&
                         bytes.size() >= 2 + 2 * static_cast<std::size_t>(count > 0 ? count : 0);
      ASSERT_EQ(loaded, whole) << "round " << round;
      for (int i = 0; i < module.GetParamCount(); ++i) {
        const ParamValue fromFile =
            static_cast<ParamValue>(loaded && i < count ? bytes[2 + 2 * i] | (bytes[3 + 2 * i] << 8) : before[i]);
        ASSERT_EQ(module.GetParam(i), fromFile) << "round " << round << " param " << i;
      }
    }
    // Whatever was loaded, rendering stays defined.
    fuzzRiff.Render(frames.data(), 64);
  }
}

}  // namespace
