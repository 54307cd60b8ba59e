// The instance's set-up, its control ports, the pass over a block cut at every event and every
// host step, and the state.
#include "plugin/quembrel_plugin.h"

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "engine/sample_rate.h"
#include "files/param_file.h"
#include "output/event_slicer.h"
#include "output/post_process_params.h"

namespace {

constexpr int kUnseen = -1000000;


// A control port's value as a parameter value: rounded to the nearest integer and held to the
// range the panels allow. NaN gives the range's low end.
int PortValue(float v, int lo, int hi) {
  if (!(v >= static_cast<float>(lo))) return lo;
  if (!(v <= static_cast<float>(hi))) return hi;
  return std::clamp(static_cast<int>(std::lround(v)), lo, hi);
}

bool IsOn(float v) { return v >= 0.5f; }

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
  for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
    if (std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
  }
  return nullptr;
}

// A number atom's value; an atom too short for its type counts as left out.
double NumberOf(const LV2_Atom* atom, double fallback, LV2_URID floatType, LV2_URID doubleType,
                LV2_URID intType, LV2_URID longType) {
  if (atom == nullptr) return fallback;
  if (atom->type == floatType && atom->size >= sizeof(float)) {
    return reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
  }
  if (atom->type == doubleType && atom->size >= sizeof(double)) {
    return reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
  }
  if (atom->type == intType && atom->size >= sizeof(std::int32_t)) {
    return reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
  }
  if (atom->type == longType && atom->size >= sizeof(std::int64_t)) {
    return static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
  }
  return fallback;
}

// Whether the event at `event` lies whole before `end`, its header and the body it claims: the
// sizes a host writes are all there is to go by.
bool FitsBefore(const LV2_Atom_Event* event, const LV2_Atom_Event* end) {
  const std::ptrdiff_t room = reinterpret_cast<const std::uint8_t*>(end) - reinterpret_cast<const std::uint8_t*>(event);
  return room >= static_cast<std::ptrdiff_t>(sizeof(LV2_Atom_Event)) &&
         event->body.size <= static_cast<std::size_t>(room) - sizeof(LV2_Atom_Event);
}

// The state holds each module's values as its parameter file does.
constexpr int kMaxStateValues =
    CSynthVoice::kParamCount > CRiffPlayer::kParamCount ? CSynthVoice::kParamCount : CRiffPlayer::kParamCount;

}  // namespace

CQuembrelPlugin::CQuembrelPlugin() : noteTarget(chain.Voice()), midi(noteTarget) {}

CQuembrelPlugin* CQuembrelPlugin::Create(double rate, const LV2_Feature* const* features) {
  auto* map = static_cast<LV2_URID_Map*>(const_cast<void*>(FindFeature(features, LV2_URID__map)));
  const double whole = std::floor(rate);
  if (map == nullptr || !(rate == whole) || whole < CRateConverter::kMinRate || whole > CRateConverter::kMaxRate) {
    return nullptr;
  }
  CQuembrelPlugin* plugin = new (std::nothrow) CQuembrelPlugin();
  if (plugin == nullptr) return nullptr;
  if (!plugin->Init(rate, map)) {
    delete plugin;
    return nullptr;
  }
  return plugin;
}

bool CQuembrelPlugin::Init(double rate, LV2_URID_Map* map) {
  if (!converter.Init(static_cast<int>(rate), kPassFrames)) return false;
  engine.reset(new (std::nothrow) std::int16_t[static_cast<std::size_t>(converter.MaxEngineFrames())]);
  if (engine == nullptr) return false;
  auto m = [map](const char* uri) { return map->map(map->handle, uri); };
  urids.atomBlank = m(LV2_ATOM__Blank);
  urids.atomObject = m(LV2_ATOM__Object);
  urids.atomChunk = m(LV2_ATOM__Chunk);
  urids.atomFloat = m(LV2_ATOM__Float);
  urids.atomDouble = m(LV2_ATOM__Double);
  urids.atomInt = m(LV2_ATOM__Int);
  urids.atomLong = m(LV2_ATOM__Long);
  urids.midiEvent = m(LV2_MIDI__MidiEvent);
  urids.timePosition = m(LV2_TIME__Position);
  urids.timeBar = m(LV2_TIME__bar);
  urids.timeBarBeat = m(LV2_TIME__barBeat);
  urids.timeBeatsPerBar = m(LV2_TIME__beatsPerBar);
  urids.timeBeatUnit = m(LV2_TIME__beatUnit);
  urids.timeBeatsPerMinute = m(LV2_TIME__beatsPerMinute);
  urids.timeSpeed = m(LV2_TIME__speed);
  urids.presetKey = m("https://quembrel.org/lv2/quembrel#preset");
  urids.riffKey = m("https://quembrel.org/lv2/quembrel#riff");
  chain.StartModules();
  for (int& v : lastPortValue) v = kUnseen;
  return true;
}

void CQuembrelPlugin::ConnectPort(std::uint32_t port, void* data) {
  if (port < static_cast<std::uint32_t>(kPluginPortCount)) ports[port] = data;
}

void CQuembrelPlugin::Activate() {
  clock.Init();
  hostRules = false;
  speed = 0.0;
  // The first run sets the riff playing or not from the Play port again.
  portsSeen = false;
}

void CQuembrelPlugin::ApplyVoiceParam(int param, int value) {
  chain.Voice().SetParam(param, static_cast<ParamValue>(value));
  chain.ApplyPostProcessParam(param, value);
}

void CQuembrelPlugin::ReadControlPorts() {
  // The voice's values as the ports give them (an unconnected port leaves its parameter as it is).
  int voice[kVoiceParamCount];
  for (int p = 0; p < kVoiceParamCount; ++p) voice[p] = chain.Voice().GetParam(p);
  voice[kLfo1Targets] = voice[kLfo2Targets] = 0;
  int moved = 0;
  int movedParam = 0;
  for (int i = 0; i < kPluginPortCount; ++i) {
    const PluginPort& port = kPluginPorts[i];
    const auto* value = static_cast<const float*>(ports[i]);
    if (port.kind == PortKind::kTargetBit) {
      const int v = value != nullptr ? (IsOn(*value) ? 1 : 0) : (chain.Voice().GetParam(port.param) & port.bit) != 0;
      voice[port.param] |= v != 0 ? port.bit : 0;
      if (v != lastPortValue[i]) {
        // One mask moved by several of its switches is still one parameter.
        if (moved == 0 || movedParam != port.param) ++moved;
        movedParam = port.param;
      }
      lastPortValue[i] = v;
      continue;
    }
    if (value == nullptr || (port.kind != PortKind::kVoiceParam && port.kind != PortKind::kRiffParam)) continue;
    const ParamInfo& info = port.kind == PortKind::kVoiceParam ? kVoiceParams[port.param] : kRiffParams[port.param];
    const int v = PortValue(*value, info.minimum, info.maximum);
    if (port.kind == PortKind::kVoiceParam) voice[port.param] = v;
    if (v == lastPortValue[i]) continue;
    lastPortValue[i] = v;
    if (port.kind == PortKind::kVoiceParam) {
      if (moved == 0 || movedParam != port.param) ++moved;
      movedParam = port.param;
    } else {
      chain.RiffPlayer().SetParam(port.param, static_cast<ParamValue>(v));
    }
  }
  // One port that moves is a knob turned on the panel: that parameter alone is set. Several at once
  // are a preset being loaded, and are set as loading a preset file sets them, every value in
  // index order, since some settings are worked out from others.
  if (moved == 1) {
    ApplyVoiceParam(movedParam, voice[movedParam]);
  } else if (moved > 1) {
    for (int p = 0; p < kVoiceParamCount; ++p) ApplyVoiceParam(p, voice[p]);
  }

  const auto* play = static_cast<const float*>(ports[kPlayPort]);
  const auto* follow = static_cast<const float*>(ports[kFollowHostPort]);
  const bool wantPlay = play != nullptr && IsOn(*play);
  const bool wantHost = (follow == nullptr || IsOn(*follow)) && clock.HasPosition();
  if (wantHost != hostRules || (!wantHost && wantPlay != playing) || !portsSeen) {
    // The host's transport and the player's own clock never both place steps.
    if (!wantHost && wantPlay) {
      chain.RiffPlayer().Play();
    } else {
      chain.RiffPlayer().Stop();
    }
  }
  hostRules = wantHost;
  playing = wantPlay;
  portsSeen = true;
}

void CQuembrelPlugin::Run(std::uint32_t frames) {
  ReadControlPorts();
  auto* out = static_cast<float*>(const_cast<void*>(ports[kAudioOutPort]));
  const auto* sequence = static_cast<const LV2_Atom_Sequence*>(ports[kEventsPort]);
  const LV2_Atom_Event* event = nullptr;
  const LV2_Atom_Event* end = nullptr;
  if (sequence != nullptr) {
    event = lv2_atom_sequence_begin(&sequence->body);
    end = reinterpret_cast<const LV2_Atom_Event*>(reinterpret_cast<const std::uint8_t*>(&sequence->body) +
                                                  sequence->atom.size);
  }
  if (frames == 0) {
    // Some hosts flush their events with a run of no frames: they take effect where the stream
    // stands, at the next block's first frame.
    RunPass(out, 0, event, end, 0, true);
  }
  std::uint32_t done = 0;
  while (out != nullptr && done < frames) {
    const std::uint32_t left = frames - done;
    const int n = left < static_cast<std::uint32_t>(kPassFrames) ? static_cast<int>(left) : kPassFrames;
    RunPass(out + done, n, event, end, done, left == static_cast<std::uint32_t>(n));
    done += static_cast<std::uint32_t>(n);
  }
  auto* latency = static_cast<float*>(const_cast<void*>(ports[kLatencyPort]));
  if (latency != nullptr) *latency = static_cast<float>(converter.LatencyFrames());
  auto* step = static_cast<float*>(const_cast<void*>(ports[kStepPort]));
  if (step != nullptr) *step = static_cast<float>(HeardStep());
}

// The step of the block's last frame as it leaves the converter, which holds back its latency: on
// the host's sixteenths while the host rules (its steps are played one at a time, not kept in the
// player's timeline), else as the player's own clock placed it.
int CQuembrelPlugin::HeardStep() {
  if (hostRules) {
    if (!clock.IsRolling()) return -1;
    const double position = std::floor(clock.PositionAt(-1 - converter.LatencyFrames()));
    return position >= 0.0 ? static_cast<int>(std::fmod(position, 16.0)) : -1;
  }
  const std::uint64_t back =
      static_cast<std::uint64_t>(converter.LatencyFrames()) * kSampleRate / static_cast<std::uint64_t>(converter.OutputRate());
  return chain.RiffPlayer().Timeline().StepAt(back);
}

void CQuembrelPlugin::RunPass(float* out, int frames, const LV2_Atom_Event*& event, const LV2_Atom_Event* end,
                              std::uint32_t passStart, bool lastPass) {
  passOutput = 0;
  passEngine = 0;
  stepsLeft = frames;
  const std::int64_t start = passStart;
  const std::int64_t passEnd = start + frames;
  CEventSlicer slicer(frames, [this](int, int to) { RenderUntil(to); });
  for (; event != nullptr && event < end; event = lv2_atom_sequence_next(event)) {
    if (!FitsBefore(event, end)) {
      // Nothing after an event that runs past the sequence can be found: the rest is dropped.
      event = end;
      break;
    }
    const std::int64_t time = event->time.frames;
    if (time >= passEnd && !lastPass) break;
    // Events must come in time order within the block; one that goes back in time takes effect
    // where the block has got to, one past its end at its last frame.
    const int frame = slicer.RenderToEvent(time >= passEnd ? frames - 1 : time > start ? time - start : 0);
    if (event->body.type == urids.midiEvent) {
      midi.Receive(static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&event->body)), event->body.size);
    } else if ((event->body.type == urids.atomObject || event->body.type == urids.atomBlank) &&
               event->body.size >= sizeof(LV2_Atom_Object_Body)) {
      const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
      if (object->body.otype == urids.timePosition) ReadPosition(object, frame);
    }
  }
  slicer.Finish();
  if (frames > 0) converter.Process(engine.get(), out, frames);
  clock.EndBlock(frames);
}

void CQuembrelPlugin::RenderUntil(int until) {
  std::int64_t stepFrame = 0;
  int step = 0;
  while (stepsLeft > 0 && hostRules && clock.NextStep(passOutput, until, stepFrame, step)) {
    --stepsLeft;
    const int engineAt = converter.EngineOffsetFor(static_cast<int>(stepFrame));
    if (engineAt > passEngine) {
      chain.Render(engine.get() + passEngine, engineAt - passEngine);
      passEngine = engineAt;
    }
    passOutput = static_cast<int>(stepFrame);
    chain.RiffPlayer().PlayStepNow(step);
  }
  const int engineAt = converter.EngineOffsetFor(until);
  if (engineAt > passEngine) {
    chain.Render(engine.get() + passEngine, engineAt - passEngine);
    passEngine = engineAt;
  }
  if (until > passOutput) passOutput = until;
}

void CQuembrelPlugin::ReadPosition(const LV2_Atom_Object* position, int frame) {
  const LV2_Atom* bar = nullptr;
  const LV2_Atom* barBeat = nullptr;
  const LV2_Atom* perBar = nullptr;
  const LV2_Atom* unit = nullptr;
  const LV2_Atom* bpm = nullptr;
  const LV2_Atom* speedAtom = nullptr;
  // The properties are walked here rather than by the atom library, so that each is checked to lie
  // within the object; a position with one that does not is no position.
  const auto* at = reinterpret_cast<const std::uint8_t*>(position + 1);
  const auto* objectEnd = reinterpret_cast<const std::uint8_t*>(&position->body) + position->atom.size;
  while (at < objectEnd) {
    const auto room = static_cast<std::size_t>(objectEnd - at);
    const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(at);
    if (room < sizeof(LV2_Atom_Property_Body) || property->value.size > room - sizeof(LV2_Atom_Property_Body)) {
      return;
    }
    const LV2_URID key = property->key;
    const LV2_Atom* value = &property->value;
    if (key == urids.timeBar) bar = value;
    if (key == urids.timeBarBeat) barBeat = value;
    if (key == urids.timeBeatsPerBar) perBar = value;
    if (key == urids.timeBeatUnit) unit = value;
    if (key == urids.timeBeatsPerMinute) bpm = value;
    if (key == urids.timeSpeed) speedAtom = value;
    at += sizeof(LV2_Atom_Property_Body) + ((static_cast<std::size_t>(property->value.size) + 7) & ~std::size_t{7});
  }
  const auto number = [this](const LV2_Atom* atom, double fallback) {
    return NumberOf(atom, fallback, urids.atomFloat, urids.atomDouble, urids.atomInt, urids.atomLong);
  };
  const double newBeatsPerMinute = number(bpm, beatsPerMinute);
  const double newBeatsPerBar = number(perBar, beatsPerBar);
  double newBeatUnit = number(unit, beatUnit);
  const double newSpeed = number(speedAtom, speed);
  if (!(newBeatUnit > 0.0)) newBeatUnit = 4.0;
  const double sixteenthsPerBeat = 16.0 / newBeatUnit;
  double sixteenths = clock.PositionAt(frame);
  if (bar != nullptr || barBeat != nullptr) {
    sixteenths = (number(bar, 0.0) * newBeatsPerBar + number(barBeat, 0.0)) * sixteenthsPerBeat;
  }
  // One division, so that the steps' frames carry as little rounding as the tempo allows.
  const double framesPerSixteenth =
      60.0 * converter.OutputRate() / (newBeatsPerMinute * sixteenthsPerBeat * newSpeed);
  // A speed of 0 or below stops the steps. A position that is not all numbers, or that the clock
  // cannot follow (see CHostClock), is ignored as if the host had sent none.
  const bool numbers = std::isfinite(newBeatsPerMinute) && std::isfinite(newBeatsPerBar) &&
                       std::isfinite(newBeatUnit) && std::isfinite(newSpeed);
  if (!numbers || !clock.SetPosition(frame, sixteenths, framesPerSixteenth, newSpeed > 0.0)) return;
  beatsPerMinute = newBeatsPerMinute;
  beatsPerBar = newBeatsPerBar;
  beatUnit = newBeatUnit;
  speed = newSpeed;
  const auto* follow = static_cast<const float*>(ports[kFollowHostPort]);
  const bool wantHost = follow == nullptr || IsOn(*follow);
  if (wantHost && !hostRules) {
    // The first position the host sends takes the riff over from its own clock at once.
    chain.RiffPlayer().Stop();
    hostRules = true;
  }
}

void CQuembrelPlugin::RememberPortValues() {
  for (int i = 0; i < kPluginPortCount; ++i) {
    const PluginPort& port = kPluginPorts[i];
    if (port.kind == PortKind::kVoiceParam) lastPortValue[i] = chain.Voice().GetParam(port.param);
    if (port.kind == PortKind::kRiffParam) lastPortValue[i] = chain.RiffPlayer().GetParam(port.param);
    if (port.kind == PortKind::kTargetBit) lastPortValue[i] = (chain.Voice().GetParam(port.param) & port.bit) != 0;
  }
}

LV2_State_Status CQuembrelPlugin::Save(LV2_State_Store_Function store, LV2_State_Handle handle) {
  CSoundModule* modules[2] = {&chain.Voice(), &chain.RiffPlayer()};
  const LV2_URID keys[2] = {urids.presetKey, urids.riffKey};
  for (int m = 0; m < 2; ++m) {
    ParamValue values[kMaxStateValues];
    std::uint8_t bytes[param_file::Size(kMaxStateValues)];
    const int count = modules[m]->GetParamCount();
    for (int i = 0; i < count; ++i) values[i] = modules[m]->GetParam(i);
    param_file::Encode(values, count, bytes);
    const LV2_State_Status status = store(handle, keys[m], bytes, param_file::Size(count),
                                          urids.atomChunk, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    if (status != LV2_STATE_SUCCESS) return status;
  }
  return LV2_STATE_SUCCESS;
}

LV2_State_Status CQuembrelPlugin::Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
  CSoundModule* modules[2] = {&chain.Voice(), &chain.RiffPlayer()};
  const LV2_URID keys[2] = {urids.presetKey, urids.riffKey};
  LV2_State_Status result = LV2_STATE_SUCCESS;
  for (int m = 0; m < 2; ++m) {
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    const auto* bytes = static_cast<const std::uint8_t*>(retrieve(handle, keys[m], &size, &type, &flags));
    if (bytes == nullptr) continue;
    // Checked whole before anything changes, as a parameter file is: at most the module's count.
    const int count = size >= 2 ? param_file::DecodeWord(bytes) : -1;
    if (type != urids.atomChunk || count < 0 || count > modules[m]->GetParamCount() ||
        size != param_file::Size(count)) {
      result = LV2_STATE_ERR_BAD_TYPE;
      continue;
    }
    for (int i = 0; i < count; ++i) {
      const ParamValue value = param_file::DecodeWord(bytes + param_file::Size(i));
      if (m == 0) {
        ApplyVoiceParam(i, value);
      } else {
        modules[m]->SetParam(i, value);
      }
    }
  }
  RememberPortValues();
  return result;
}
