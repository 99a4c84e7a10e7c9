#include "capture/pipeline/output.h"

#include <unistd.h>


namespace Output {

void interleave(std::span<const float> mic, std::span<const float> system, std::span<std::int16_t> into) {
  for (std::size_t i = 0; i < mic.size(); ++i) {
    into[2 * i] = toPcm(mic[i]);
    into[2 * i + 1] = toPcm(system[i]);
  }
}

bool write(std::span<const std::int16_t> block, int fd) {
  const char* bytes = reinterpret_cast<const char*>(block.data());
  const std::size_t total = block.size_bytes();
  std::size_t done = 0;
  while (done < total) {
    const ssize_t n = ::write(fd, bytes + done, total - done);
    if (n < 1) break;  // an error, EINTR included, or nothing accepted
    done += static_cast<std::size_t>(n);
  }
  return done >= total;
}

}  // namespace Output
