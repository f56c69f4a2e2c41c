// Little-endian field archive: the byte stream of ".q5s" files, journal
// snapshots and clipboard payloads. One Serialize routine serves both
// directions: in store mode every Io call writes the field, in load mode it
// reads it. Loading treats its input as hostile: every length and count is
// checked against the bytes that remain before anything is allocated, and
// reading past the end raises ArchiveError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class ArchiveError : public std::runtime_error {
 public:
  ArchiveError(const std::string& what, uint64_t offset)
      : std::runtime_error(what), Offset(offset) {}
  uint64_t Offset;
};

class Archive {
 public:
  static constexpr size_t kBufferSize = 4096;

  // Store into a growing byte vector.
  explicit Archive(std::vector<uint8_t>& out);
  // Store through a sink (file writer); the sink gets 4096-byte blocks and
  // returns false on a write error.
  explicit Archive(std::function<bool(const void*, size_t)> sink);
  // Load from bytes held by the caller (must outlive the archive).
  Archive(const uint8_t* data, size_t size);
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Load from a file through a 4096-byte buffer. Returns nullptr (and sets
  // *error) when the file cannot be opened.
  static std::unique_ptr<Archive> OpenFileForLoad(const std::string& path, std::string* error);

  bool IsStoring() const { return storing_; }
  bool IsLoading() const { return !storing_; }

  void Io(int32_t& v) { IoScalar(v); }
  void Io(uint32_t& v) { IoScalar(v); }
  void Io(int16_t& v) { IoScalar(v); }
  void Io(uint16_t& v) { IoScalar(v); }
  void Io(int8_t& v) { IoScalar(v); }
  void Io(uint8_t& v) { IoScalar(v); }
  void IoRaw(void* data, size_t n);
  // Text with the 1-, 3- or 7-byte length prefix.
  void IoText(std::string& text);
  // Member list: uint16 count (or 0xFFFF + uint32), then that many uint32.
  void IoMembers(std::vector<int32_t>& members);

  // Load mode: throws unless at least n bytes remain. Used before any
  // allocation sized by a count read from the stream.
  void Require(uint64_t n, const char* what);
  uint64_t Remaining() const;
  uint64_t Position() const;

  // Store mode: pushes buffered bytes to the sink; false after any write error.
  bool Flush();
  bool WriteFailed() const { return writeFailed_; }

  void WriteBytes(const void* data, size_t n) {
    if (n <= kBufferSize - outUsed_) {
      std::memcpy(out_ + outUsed_, data, n);
      outUsed_ += n;
    } else {
      WriteSlow(data, n);
    }
  }
  void ReadBytes(void* data, size_t n) {
    if (static_cast<size_t>(end_ - cur_) >= n) {
      std::memcpy(data, cur_, n);
      cur_ += n;
    } else {
      ReadSlow(data, n);
    }
  }

 private:
  template <typename T>
  void IoScalar(T& v) {
    uint8_t b[sizeof(T)];
    if (storing_) {
      using U = std::make_unsigned_t<T>;
      U u = static_cast<U>(v);
      for (size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<uint8_t>(u >> (8 * i));
      WriteBytes(b, sizeof(T));
    } else {
      ReadBytes(b, sizeof(T));
      std::make_unsigned_t<T> u = 0;
      for (size_t i = 0; i < sizeof(T); ++i) u |= static_cast<std::make_unsigned_t<T>>(b[i]) << (8 * i);
      v = static_cast<T>(u);
    }
  }
  void Refill();
  uint64_t IoCount16(uint64_t value, uint64_t narrowLimit);
  void WriteSlow(const void* data, size_t n);
  void ReadSlow(void* data, size_t n);

  bool storing_;
  // store
  std::vector<uint8_t>* outVec_ = nullptr;
  std::function<bool(const void*, size_t)> sink_;
  std::vector<uint8_t> buffer_;
  uint8_t out_[kBufferSize];
  size_t outUsed_ = 0;
  bool writeFailed_ = false;
  uint64_t written_ = 0;
  // load
  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t consumedBeforeBuffer_ = 0;  // stream offset of the buffer's first byte
  const uint8_t* bufferStart_ = nullptr;
  uint64_t totalSize_ = 0;
  int fd_ = -1;
};
