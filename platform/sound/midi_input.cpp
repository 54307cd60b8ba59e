// Virtual MIDI input ports over RtMidi, one per available MIDI system.
#include "platform/sound/midi_input.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sequencer/midi_note_handler.h"


namespace {

const char* const kPortName = "Quembrel";

// On JACK the audio output already holds the client name "Quembrel". A client name of the MIDI
// input's own keeps its port's full name, "Quembrel MIDI:Quembrel", the same whichever opened first.
const char* ClientName(RtMidi::Api api) { return api == RtMidi::UNIX_JACK ? "Quembrel MIDI" : kPortName; }

void Quiet(const char*) {}

// RtMidi prints to the console when it cannot reach a system, before any error callback can be
// set, and the JACK library prints while it looks for a server. So look first, quietly.
bool SystemAvailable(RtMidi::Api api) {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) {
    return false;
  }
  if (api == RtMidi::LINUX_ALSA) {
    return access("/dev/snd/seq", R_OK | W_OK) == 0;
  }
  jack_set_error_function(Quiet);
  jack_set_info_function(Quiet);
  jack_status_t status;
  jack_client_t* client = jack_client_open(ClientName(api), JackNoStartServer, &status);
  if (client == nullptr) {
    return false;
  }
  jack_client_close(client);
  return true;
}

void OnMessage(double, std::vector<unsigned char>* message, void* handler) {
  if (message != nullptr) {
    static_cast<CMidiNoteHandler*>(handler)->Receive(message->data(), message->size());
  }
}

void OnError(RtMidiError::Type type, const std::string&, void* failed) {
  if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) {
    static_cast<std::atomic<bool>*>(failed)->store(true);
  }
}

std::unique_ptr<RtMidiIn> OpenVirtualPort(RtMidi::Api api, CMidiNoteHandler& notes,
                                          std::atomic<bool>& failed) {
  if (!SystemAvailable(api)) {
    return nullptr;
  }
  std::unique_ptr<RtMidiIn> in;
  try {
    in = std::make_unique<RtMidiIn>(api, ClientName(api));
    in->setErrorCallback(OnError, &failed);
    in->setCallback(OnMessage, &notes);
    in->openVirtualPort(kPortName);
  } catch (const RtMidiError&) {
    failed = true;
  }
  if (failed) {
    in.reset();
  }
  return in;
}

}  // namespace

CMidiInput::CMidiInput() = default;

CMidiInput::~CMidiInput() { Close(); }

bool CMidiInput::Open(CNoteTarget& noteTarget) {
  std::lock_guard<std::mutex> guard(control);
  CloseLocked();
  target = &noteTarget;
  bool any = false;
  for (std::size_t i = 0; i < ports.size(); ++i) any = OpenPort(i) || any;
  return any;
}

bool CMidiInput::OpenPort(std::size_t index) {
  const RtMidi::Api apis[] = {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK};
  Port& port = ports[index];
  port.notes = std::make_unique<CMidiNoteHandler>(*target);
  port.failed = false;
  port.in = OpenVirtualPort(apis[index], *port.notes, port.failed);
  return port.in != nullptr;
}

void CMidiInput::SetJackPortOpen(bool open) {
  std::lock_guard<std::mutex> guard(control);
  Port& port = ports[1];
  if (target == nullptr || open == (port.in != nullptr)) return;
  if (open) {
    OpenPort(1);
  } else {
    port.in.reset();
    port.notes.reset();
  }
}

void CMidiInput::Close() {
  std::lock_guard<std::mutex> guard(control);
  CloseLocked();
}

void CMidiInput::CloseLocked() {
  // Closing a port joins its MIDI thread, so the handlers and the target outlive every callback.
  for (Port& port : ports) {
    port.in.reset();
    port.notes.reset();
  }
  target = nullptr;
}

int CMidiInput::GetOpenPortCount() const {
  std::lock_guard<std::mutex> guard(control);
  return static_cast<int>(std::count_if(ports.begin(), ports.end(),
                                        [](const Port& port) { return port.in != nullptr; }));
}
