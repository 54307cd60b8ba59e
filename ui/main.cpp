// quembrel: the windowed synthesizer. The command line is read first, so --help, --version and
// every refusal work without a display and before any window or sound opens.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/synth_app.h"

int main(int argc, char** argv) {
  std::string error;
  if (!g_synthApp.ParseArguments(argc, argv, &error)) {
    std::fprintf(stderr, "quembrel: %s\n", error.c_str());
    return 2;
  }
  if (g_synthApp.GetOptions().help) {
    std::fputs(ProgramUsage().c_str(), stdout);
    return EXIT_SUCCESS;
  }
  if (g_synthApp.GetOptions().version) {
    std::printf("quembrel %s\n", QUEMBREL_VERSION);
    return EXIT_SUCCESS;
  }
  return g_synthApp.Run(argc, argv);
}
