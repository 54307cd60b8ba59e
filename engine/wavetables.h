// The process-wide tables every oscillator reads: four padded wavetables (saw, square, sine,
// noise) and the 256 LFO rates that the voice's rate parameters select. Both are filled once,
// before the audio thread starts, and only read afterwards.
#pragma once

#include <atomic>

inline constexpr int kWaveformCount = 4;
inline constexpr int kTableSize = 1024;
// Each slot holds the table with half a table of padding either side, so an oscillator's read
// window can slide by up to 512 entries each way without a bounds test per sample.
inline constexpr int kSlotSize = 2048;
inline constexpr int kTablePadding = 512;
inline constexpr int kLfoRateCount = 256;

// Wavetable slots, in the order of the panel's waveform radio buttons.
enum Waveform : int { kSaw = 0, kSquare = 1, kSine = 2, kNoise = 3 };

extern float g_wavetables[kWaveformCount * kSlotSize];
extern std::atomic<bool> g_wavetablesBuilt;
extern float g_lfoRateTable[kLfoRateCount];

// Fills all four slots. The noise comes from a fixed, never reseeded generator, so every build
// gives the same pattern.
void BuildWavetables();

// Fills g_lfoRateTable: 40 Hz at index 255, each index below a factor 0.9689923 slower.
void BuildLfoRateTable();

// Builds both tables the first time it is called, from whichever thread; later calls return at
// once. Rebuilding would write the same values, but not while another thread reads them.
void EnsureTablesBuilt();
