#include "capture/pipeline/platform_error.h"
#include "capture/sources/live_sources.h"

namespace {

class UnavailableSource final : public Source {
 public:
  void start() override { throw PlatformError("live capture is not available in this build"); }
  void stop() override {}
};

class UnavailableLiveSources final : public LiveSources {
 public:
  bool authorizeMicrophone() override { return true; }
  std::unique_ptr<Source> makeMicrophone(std::shared_ptr<SampleRing>, double) override {
    return std::make_unique<UnavailableSource>();
  }
  std::unique_ptr<Source> makeSystemAudio(std::shared_ptr<SampleRing>, double) override {
    return std::make_unique<UnavailableSource>();
  }
};

}  // namespace

LiveSources& platformLiveSources() {
  static UnavailableLiveSources* sources = new UnavailableLiveSources;
  return *sources;
}
