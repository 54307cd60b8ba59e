// quembrel: the windowed synthesizer. It takes no arguments and keeps no state between runs.
#include "ui/synth_app.h"

int main(int argc, char** argv) { return g_synthApp.Run(argc, argv); }
