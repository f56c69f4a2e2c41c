// Reads entries of a zip archive held in memory (stored or deflated), for the
// compressed MusicXML container. Every offset and size is checked against the
// bytes there are; an entry inflates to at most the size asked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ZipReader {
 public:
  // Reads the central directory. False with a reason for anything that is
  // not a zip archive this reader can take.
  bool Open(const std::string& bytes, std::string* error);
  std::vector<std::string> Names() const;
  // The entry's bytes; false when missing, damaged or larger than maxBytes.
  bool Extract(const std::string& name, std::string& out, size_t maxBytes, std::string* error) const;

 private:
  struct Entry {
    std::string Name;
    uint16_t Method = 0;
    uint32_t Crc = 0, Packed = 0, Size = 0, Offset = 0;
  };
  const std::string* bytes_ = nullptr;
  std::vector<Entry> entries_;
};
