// The plugin bundle as the command-line tools of LV2 see it from the build tree: lv2ls lists it,
// lv2info reads its class and ports, and sord_validate finds no error in its description against
// LV2's own schemas. Other plugins installed on the machine are out of sight: their
// descriptions are not ours to judge.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "plugin/plugin_ports.h"

namespace {

struct Result {
  int status = -1;
  std::string output;
};

Result RunCommand(const std::string& command) {
  Result result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) result.output += buffer.data();
  result.status = pclose(pipe);
  return result;
}

TEST(Lv2ToolsTest, Lv2lsListsThePlugin) {
  const Result r = RunCommand("lv2ls");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(kPluginUri), std::string::npos) << r.output;
}

TEST(Lv2ToolsTest, Lv2infoShowsTheInstrumentAndEveryPort) {
  const Result r = RunCommand(std::string("lv2info ") + kPluginUri);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Instrument"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("http://lv2plug.in/ns/ext/state#interface"), std::string::npos);
  for (const PluginPort& port : kPluginPorts) {
    EXPECT_NE(r.output.find(std::string("Symbol:      ") + port.symbol + "\n"), std::string::npos)
        << port.symbol;
  }
}

TEST(Lv2ToolsTest, SordValidateFindsNoError) {
  const std::string bundle = QUEMBREL_LV2_BUNDLE;
  const std::string schemas = QUEMBREL_LV2_SCHEMAS;
  const Result r = RunCommand("sord_validate " + schemas + "/*.lv2/*.ttl " + bundle + "/*.ttl");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Found 0 errors"), std::string::npos) << r.output;
}

}  // namespace
