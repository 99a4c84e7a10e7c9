// The live devices as the capture session reaches them: the microphone
// permission, the microphone and the machine's audio output. Tests put
// scripted sources in their place.
#pragma once

#include <memory>

#include "capture/pipeline/sample_ring.h"
#include "capture/sources/source.h"

class LiveSources {
 public:
  virtual ~LiveSources() = default;

  // Whether the program may use the microphone; may ask the user and block
  // until the answer arrives.
  virtual bool authorizeMicrophone() = 0;

  // Sources that fill `ring` at `rate` once started; construction does not
  // fail, start() may.
  virtual std::unique_ptr<Source> makeMicrophone(std::shared_ptr<SampleRing> ring, double rate) = 0;
  virtual std::unique_ptr<Source> makeSystemAudio(std::shared_ptr<SampleRing> ring, double rate) = 0;
};

// The devices of this build. It has no device backend yet: both live
// sources fail to start with "live capture is not available in this build",
// so only replay files feed a run.
LiveSources& platformLiveSources();
