// CPortModules: from the panels' calls to the plugin's ports and back.
#include "ui/lv2/port_modules.h"

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>

#include <cmath>

CPortModules::CPortModules(LV2UI_Write_Function write, LV2UI_Controller controller, LV2_URID_Map* map)
    : write(write), controller(controller), voice(kVoiceParams, kVoiceParamCount), riff(kRiffParams, kRiffParamCount) {
  if (map != nullptr) {
    midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
    eventTransfer = map->map(map->handle, LV2_ATOM__eventTransfer);
  }
  voice.SetListener([this](int param, int value) { WriteVoice(param, value); });
  riff.SetListener([this](int param, int value) { WriteRiff(param, value); });
}

void CPortModules::WritePort(int port, float value) {
  if (write != nullptr) write(controller, static_cast<std::uint32_t>(port), sizeof value, 0, &value);
}

void CPortModules::WriteVoice(int param, int value) {
  for (int i = 0; i < kPluginPortCount; ++i) {
    const PluginPort& port = kPluginPorts[i];
    if (port.kind == PortKind::kVoiceParam && port.param == param) {
      WritePort(i, static_cast<float>(value));
    } else if (port.kind == PortKind::kTargetBit && port.param == param) {
      WritePort(i, (value & port.bit) != 0 ? 1.0f : 0.0f);
    }
  }
}

void CPortModules::WriteRiff(int param, int value) {
  for (int i = 0; i < kPluginPortCount; ++i) {
    if (kPluginPorts[i].kind == PortKind::kRiffParam && kPluginPorts[i].param == param) {
      WritePort(i, static_cast<float>(value));
    }
  }
}

void CPortModules::SendNote(std::uint8_t status, std::uint8_t velocity) {
  if (write == nullptr || midiEvent == 0 || eventTransfer == 0) return;
  struct {
    LV2_Atom atom;
    std::uint8_t message[3];
  } note = {{3, midiEvent}, {status, kButtonNote, velocity}};
  write(controller, kEventsPort, sizeof note.atom + note.atom.size, eventTransfer, &note);
}

bool CPortModules::PortEvent(std::uint32_t index, float value) {
  if (index >= static_cast<std::uint32_t>(kPluginPortCount) || !std::isfinite(value)) return false;
  const PluginPort& port = kPluginPorts[index];
  const int whole = static_cast<int>(std::lround(std::fmax(-32768.0f, std::fmin(32767.0f, value))));
  switch (port.kind) {
    case PortKind::kVoiceParam:
      return voice.Show(port.param, whole);
    case PortKind::kTargetBit: {
      const int mask = voice.GetParam(port.param);
      return voice.Show(port.param, value >= 0.5f ? (mask | port.bit) : (mask & ~port.bit));
    }
    case PortKind::kRiffParam:
      return riff.Show(port.param, whole);
    case PortKind::kFollowHost:
      followHost = value >= 0.5f;
      return true;
    case PortKind::kStep:
      heardStep = whole;
      return false;
    default:
      return false;
  }
}

bool CPortModules::LoadPreset(const std::string& path, std::string* reason) {
  return voice.LoadParams(path.c_str(), reason);
}

bool CPortModules::SavePreset(const std::string& path, std::string* reason) {
  return voice.SaveParams(path.c_str(), reason);
}

bool CPortModules::LoadRiff(const std::string& path, std::string* reason) {
  return riff.LoadParams(path.c_str(), reason);
}

bool CPortModules::SaveRiff(const std::string& path, std::string* reason) {
  return riff.SaveParams(path.c_str(), reason);
}
