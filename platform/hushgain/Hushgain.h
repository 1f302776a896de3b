// Hushgain: noise suppression and automatic gain control for the publish
// manager's microphone path, backed by speexdsp's preprocessor. Plain
// functions around a handle: createHushgain, HushgainInit (again after every
// change of the settings), HushgainPro per block, HushgainDestroy when the
// manager goes. The factory table in platform/outside/ can replace them.
//
// Settings:
// - suppressionLevel: how far noise is pushed down, in dB (0..60; 0 = no
//   suppression). The manager's default is 20.
// - suppressionMode: how much of that level is used, like the usual mild to
//   very aggressive steps: mode 0 = a quarter, 1 = half, 2 = three quarters,
//   3 = all of it (the manager's default). Values outside 0..3 are clamped.
// - agcLevel: 0 = gain control off; 1..100 = on, the level the speech is
//   brought to as a percentage of full scale (30 is about -10 dBFS).
#pragma once

// A new handle (a table slot number, never 0); 0 when the table is full.
int createHushgain();

// (Re)initialises the handle. sampleRate 8000..48000, bitsPerSample 16,
// channels 1 or 2 (interleaved). Returns 0 on success, non-zero on failure
// (unknown handle, unsupported format); a failed Init leaves the handle
// unusable until a good Init.
int HushgainInit(int handle, int sampleRate, int bitsPerSample, int suppressionLevel,
                 int suppressionMode, int agcLevel, int channels = 2);

// Processes byteLength bytes of interleaved PCM (whole sample frames) in
// place, each channel on its own in 10 ms pieces. Blocks of any length are
// taken: the samples that come back are those of 10 ms earlier, processed
// (the first 10 ms after an Init are silence). Returns 0, or non-zero (and
// leaves the samples alone) for an unknown or uninitialised handle or bad
// arguments.
int HushgainPro(int handle, short* samples, int byteLength);

// Frees the handle; unknown handles are ignored. Returns 0 when one was freed.
int HushgainDestroy(int handle);
