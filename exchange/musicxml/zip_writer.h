// A minimal zip archive writer (stored or deflated entries, no extras), for
// the compressed MusicXML container.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ZipWriter {
 public:
  void Add(const std::string& name, std::string_view data, bool deflate);
  // The whole archive: local entries, the central directory and its end.
  std::string Finish();

 private:
  struct Entry {
    std::string Name;
    uint32_t Crc = 0, Packed = 0, Size = 0, Offset = 0;
    uint16_t Method = 0;
  };
  std::string bytes_;
  std::vector<Entry> entries_;
};
