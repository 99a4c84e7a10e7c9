// The live capture run: settles each side (replay file, else live device),
// announces "ready", paces both rings to stdout on a writer thread, waits
// for a reason to stop, shuts down in order and exits with the run's status.
#pragma once

#include "capture/options.h"
#include "capture/pipeline/audio_system.h"
#include "capture/pipeline/clock.h"
#include "capture/sources/live_sources.h"

// What a run reaches outside the process; tests replace any of it.
struct SessionPlatform {
  LiveSources& live = platformLiveSources();
  AudioSystem& audio = linuxAudioSystem();
  Clock& clock = systemClock();
  int inputFd = 0;   // the parent's liveness: end of file stops the run
  int outputFd = 1;  // the PCM stream
};

// Exit statuses: 0 orderly stop ("stopped" last), 3 no side live
// ("no_source"), 4 the PCM pipe broke while pacing (no "stopped").
// From its start on, SIGTERM and SIGINT request an orderly stop.
[[noreturn]] void runCaptureSession(const Options& options, const SessionPlatform& platform = {});
