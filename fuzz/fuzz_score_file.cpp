// Arbitrary bytes as a score file, read through the buffered file archive.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/score.h"
#include "model/score_open.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int fd = memfd_create("quavix-fuzz", 0);
  if (fd < 0) return 0;
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  CScore score;
  if (OpenScoreFile(score, path)) {
    score.SetInsertionPoint(100, 100);
    ComputeStatistics(score);
  }
  return 0;
}
