// The fast replay run: both files converted whole, the shorter padded with
// silence, written to stdout as fast as the reader takes it.
#pragma once

#include "capture/options.h"
#include "capture/pipeline/audio_system.h"

// Exit statuses: 0 all written ("stopped" last), 3 a file failed
// ("replay_failed", nothing written), 4 the output failed (nothing after "ready").
[[noreturn]] void runFastReplay(const Options& options, AudioSystem& audio = linuxAudioSystem(), int outputFd = 1);
