// quembrel: the windowed synthesizer. --low-latency or --classic chooses the sound output for one
// run, --follow-transport has the riff follow the JACK transport for one run; otherwise it starts
// as its menus were left.
#include "ui/synth_app.h"

int main(int argc, char** argv) {
  g_synthApp.ParseArguments(argc, argv);
  return g_synthApp.Run(argc, argv);
}
