// Arbitrary bytes as a glyph table file: the load either fails cleanly,
// leaving the table as it was, or gives exactly 256 entries.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "notation/glyph_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/quavix-fuzz-charlist-" + std::to_string(getpid()) + ".dat";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  GlyphTable table;
  const bool loaded = table.Load(path);
  if (loaded && table.Size() != 256) std::abort();
  if (!loaded && !table.Empty()) std::abort();
  for (int code = -1; code <= 256; ++code) {
    const GlyphEntry* g = table.Find(code);
    if (g && g->Code != code) std::abort();
  }
  return 0;
}
