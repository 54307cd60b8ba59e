// The mapping from the three post-process parameters to the effect setters.
#include "output/post_process_params.h"

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "output/distortion.h"
#include "output/echo_delay.h"

void ApplyPostProcessParamTo(CDistortion& distortion, CEchoDelay& echoDelay, int index, int value) {
  const float v = static_cast<float>(value);
  switch (index) {
    case kDistAmount:
      distortion.SetAmount(v);
      break;
    case kDelayTime:
      echoDelay.SetDelayTime(v);
      break;
    case kDelayFeedback:
      // Percent to a gain with the float 0.01, rounded to float: 100 gives exactly 1.0.
      echoDelay.SetFeedback(static_cast<float>(static_cast<double>(v) * static_cast<double>(0.01f)));
      break;
    default:
      break;
  }
}

void ApplyPostProcessParams(CSynthVoice& voice) {
  for (int index : {kDistAmount, kDelayTime, kDelayFeedback}) {
    const ParamValue value = voice.GetParam(index);
    voice.SetParam(index, value);
    ApplyPostProcessParam(index, value);
  }
}
