#include "exchange/musicxml/zip_writer.h"

#include <zlib.h>

namespace {
void Put16(std::string& s, uint32_t v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// Raw deflate (no zlib header), as zip entries carry it.
std::string Deflate(std::string_view data) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, uLong(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}
}  // namespace

void ZipWriter::Add(const std::string& name, std::string_view data, bool deflate) {
  Entry e;
  e.Name = name;
  e.Crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
  e.Size = uint32_t(data.size());
  e.Offset = uint32_t(bytes_.size());
  const std::string packed = deflate ? Deflate(data) : std::string(data);
  e.Method = deflate ? 8 : 0;
  e.Packed = uint32_t(packed.size());
  Put32(bytes_, 0x04034b50);
  Put16(bytes_, 20);  // version needed
  Put16(bytes_, 0);   // flags
  Put16(bytes_, e.Method);
  Put16(bytes_, 0);       // time
  Put16(bytes_, 0x5C21);  // date: 2026-01-01
  Put32(bytes_, e.Crc);
  Put32(bytes_, e.Packed);
  Put32(bytes_, e.Size);
  Put16(bytes_, uint32_t(name.size()));
  Put16(bytes_, 0);
  bytes_ += name;
  bytes_ += packed;
  entries_.push_back(e);
}

std::string ZipWriter::Finish() {
  const uint32_t start = uint32_t(bytes_.size());
  for (const Entry& e : entries_) {
    Put32(bytes_, 0x02014b50);
    Put16(bytes_, 20);  // made by
    Put16(bytes_, 20);  // needed
    Put16(bytes_, 0);
    Put16(bytes_, e.Method);
    Put16(bytes_, 0);
    Put16(bytes_, 0x5C21);
    Put32(bytes_, e.Crc);
    Put32(bytes_, e.Packed);
    Put32(bytes_, e.Size);
    Put16(bytes_, uint32_t(e.Name.size()));
    Put16(bytes_, 0);  // extra
    Put16(bytes_, 0);  // comment
    Put16(bytes_, 0);  // disk
    Put16(bytes_, 0);  // internal attributes
    Put32(bytes_, 0);  // external attributes
    Put32(bytes_, e.Offset);
    bytes_ += e.Name;
  }
  const uint32_t size = uint32_t(bytes_.size()) - start;
  Put32(bytes_, 0x06054b50);
  Put16(bytes_, 0);
  Put16(bytes_, 0);
  Put16(bytes_, uint32_t(entries_.size()));
  Put16(bytes_, uint32_t(entries_.size()));
  Put32(bytes_, size);
  Put32(bytes_, start);
  Put16(bytes_, 0);
  return std::move(bytes_);
}
