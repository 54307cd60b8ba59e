// Tests of CFilePicker: filter strings become name filters, and a replacement runner sees the
// whole request and decides the answer in place of the real dialog.
#include "platform/window/file_picker.h"

#include <gtest/gtest.h>

#include "platform/window/message.h"
#include "tests/platform/window/test_app.h"

namespace {

TEST(FilePickerTest, FilterStringsBecomeNameFilters) {
  struct Case {
    const char* filter;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"Marrick KV7|*.kv7|All|*.*", {"Marrick KV7 (*.kv7)", "All (*)"}},
      {"Marrick Riff KV7|*.riff", {"Marrick Riff KV7 (*.riff)"}},
      {"WAV file|*.wav||", {"WAV file (*.wav)"}},
      {"Sounds|*.wav;*.aiff|", {"Sounds (*.wav *.aiff)"}},
      {"Odd", {"Odd (*)"}},
      {"|*.kv7", {"*.kv7 (*.kv7)"}},
      {"", {}},
      {"||||", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CFilePicker::NameFilters(c.filter), c.expected) << c.filter;
  }
}

FilePickerRequest g_seen;
std::string g_answer;

bool FakeRunner(const FilePickerRequest& request, std::string& path) {
  g_seen = request;
  if (g_answer.empty()) {
    return false;
  }
  path = g_answer;
  return true;
}

TEST(FilePickerTest, ReplacementRunnerSeesTheRequestAndPicksThePath) {
  TestApp();
  g_answer = "/tmp/a riff.riff";
  CFilePicker save(false, "riff", "/home/u/old.riff",
                   kFileHideReadOnly | kFileOverwritePrompt | kFilePathMustExist,
                   "Marrick Riff KV7|*.riff", nullptr, &FakeRunner);
  EXPECT_EQ(save.DoModal(), kIdOk);
  EXPECT_EQ(save.GetPathName(), "/tmp/a riff.riff");
  EXPECT_FALSE(g_seen.open);
  EXPECT_EQ(g_seen.defaultExtension, "riff");
  EXPECT_EQ(g_seen.fileName, "/home/u/old.riff");
  EXPECT_EQ(g_seen.flags, 0x806u);
  EXPECT_EQ(g_seen.filter, "Marrick Riff KV7|*.riff");

  g_answer.clear();
  CFilePicker open(true, nullptr, "", 0x806, "Marrick KV7|*.kv7|All|*.*", nullptr, &FakeRunner);
  EXPECT_EQ(open.DoModal(), kIdCancel);
  EXPECT_EQ(open.GetPathName(), "");
  EXPECT_TRUE(g_seen.open);
  EXPECT_EQ(g_seen.defaultExtension, "");
}

}  // namespace
