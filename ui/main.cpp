// quembrel: the windowed synthesizer. --low-latency or --classic chooses the sound output for one
// run; otherwise it starts with the output chosen last in its menu.
#include "ui/synth_app.h"

int main(int argc, char** argv) {
  g_synthApp.ParseArguments(argc, argv);
  return g_synthApp.Run(argc, argv);
}
