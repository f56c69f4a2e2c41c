#include "exchange/musicxml/zip_reader.h"

#include <zlib.h>

#include <algorithm>

namespace {
uint32_t Get16(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8;
}
uint32_t Get32(const std::string& b, size_t at) { return Get16(b, at) | Get16(b, at + 2) << 16; }
bool Fail(std::string* error, const char* why) {
  if (error) *error = std::string("compressed file: ") + why;
  return false;
}
}  // namespace

bool ZipReader::Open(const std::string& b, std::string* error) {
  bytes_ = &b;
  entries_.clear();
  // The end record sits in the last 64 KiB + 22 bytes (its comment may be long).
  if (b.size() < 22) return Fail(error, "too short");
  size_t end = std::string::npos;
  const size_t lowest = b.size() > 65557 ? b.size() - 65557 : 0;
  for (size_t at = b.size() - 22 + 1; at-- > lowest;)
    if (Get32(b, at) == 0x06054b50) {
      end = at;
      break;
    }
  if (end == std::string::npos) return Fail(error, "no central directory");
  const uint32_t count = Get16(b, end + 10);
  const uint32_t size = Get32(b, end + 12), start = Get32(b, end + 16);
  if (uint64_t(start) + size > end) return Fail(error, "the directory lies outside the file");
  size_t at = start;
  for (uint32_t i = 0; i < count; ++i) {
    if (at + 46 > end || Get32(b, at) != 0x02014b50) return Fail(error, "a damaged directory entry");
    Entry e;
    e.Method = uint16_t(Get16(b, at + 10));
    e.Crc = Get32(b, at + 16);
    e.Packed = Get32(b, at + 20);
    e.Size = Get32(b, at + 24);
    const uint32_t nameLength = Get16(b, at + 28), extra = Get16(b, at + 30), comment = Get16(b, at + 32);
    e.Offset = Get32(b, at + 42);
    if (at + 46 + uint64_t(nameLength) > end) return Fail(error, "a damaged directory entry");
    e.Name = b.substr(at + 46, nameLength);
    at += 46 + uint64_t(nameLength) + extra + comment;
    entries_.push_back(std::move(e));
  }
  return true;
}

std::vector<std::string> ZipReader::Names() const {
  std::vector<std::string> names;
  for (const Entry& e : entries_) names.push_back(e.Name);
  return names;
}

bool ZipReader::Extract(const std::string& name, std::string& out, size_t maxBytes, std::string* error) const {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.Name == name; });
  if (it == entries_.end() || !bytes_) return Fail(error, "the entry is missing");
  const std::string& b = *bytes_;
  const Entry& e = *it;
  if (e.Size > maxBytes) return Fail(error, "an entry too large");
  if (uint64_t(e.Offset) + 30 > b.size() || Get32(b, e.Offset) != 0x04034b50) return Fail(error, "a damaged entry");
  const uint64_t data = uint64_t(e.Offset) + 30 + Get16(b, e.Offset + 26) + Get16(b, e.Offset + 28);
  if (data + e.Packed > b.size()) return Fail(error, "an entry runs past the end");
  std::string result;
  if (e.Method == 0) {
    if (e.Packed != e.Size) return Fail(error, "a damaged entry");
    result = b.substr(size_t(data), e.Packed);
  } else if (e.Method == 8) {
    result.resize(e.Size);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return Fail(error, "cannot inflate");
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(b.data() + data));
    z.avail_in = e.Packed;
    z.next_out = reinterpret_cast<Bytef*>(result.data());
    z.avail_out = uInt(result.size());
    const int status = inflate(&z, Z_FINISH);
    const uLong produced = z.total_out;
    inflateEnd(&z);
    if (status != Z_STREAM_END || produced != e.Size) return Fail(error, "an entry does not inflate to its size");
  } else {
    return Fail(error, "an entry packed in an unknown way");
  }
  if (uint32_t(crc32(0, reinterpret_cast<const Bytef*>(result.data()), uInt(result.size()))) != e.Crc)
    return Fail(error, "an entry fails its checksum");
  out = std::move(result);
  return true;
}
