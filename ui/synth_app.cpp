// CSynthApp: start and end of the program.
#include "ui/synth_app.h"

#include "output/audio_stream.h"
#include "output/wav_recorder.h"
#include "platform/midi_input.h"
#include "ui/synth_panel.h"

CSynthApp g_synthApp;

bool CSynthApp::InitInstance() {
  CSynthPanel panel;
  SetMainWindow(&panel);
  panel.DoModal();
  SetMainWindow(nullptr);
  return false;
}

// The panel's close command has normally done this already. If the panel ended some other way,
// the audio thread must still stop before the recorder closes its file, and both before the
// process's own teardown takes objects the audio thread uses.
void CSynthApp::OnExit() {
  g_midiInput.Close();
  g_audioStream.Stop();
  if (g_wavRecorder.IsRecording()) {
    g_wavRecorder.Finish();
  }
}
