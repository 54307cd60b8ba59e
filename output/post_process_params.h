// Passes the voice's three post-process parameters on to the effects: 34 DistAmount to the
// distortion's amount, 35 DelayTime to the delay's time in milliseconds, 36 DelayFeedback (percent)
// to its feedback gain. The voice only stores these three so that presets carry them; the synth
// panel's knob handler and preset loading, the render tool and the plugin all come through here,
// so a preset sounds the same in each.
#pragma once

class CDistortion;
class CEchoDelay;
class CSynthVoice;

// Does nothing for any other index. value is the parameter's 16-bit value, sign-extended.
void ApplyPostProcessParamTo(CDistortion& distortion, CEchoDelay& echoDelay, int index, int value);
// The same for the program's chain (g_distortion, g_echoDelay).
void ApplyPostProcessParam(int index, int value);

// What loading a preset into the program's voice ends with: its three post-process values are
// stored again and handed to the program's effects, which never read the voice's parameters.
void ApplyPostProcessParams(CSynthVoice& voice);
