#include "model/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/file_util.h"

Archive::Archive(std::vector<uint8_t>& out) : storing_(true), outVec_(&out) {}

Archive::Archive(std::function<bool(const void*, size_t)> sink) : storing_(true), sink_(std::move(sink)) {}

Archive::Archive(const uint8_t* data, size_t size)
    : storing_(false), cur_(data), end_(data + size), bufferStart_(data), totalSize_(size) {}

Archive::~Archive() {
  if (storing_ && outVec_) Flush();
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<Archive> Archive::OpenFileForLoad(const std::string& path, std::string* error) {
  uint64_t size = 0;
  std::string why;
  const int fd = qx::OpenRegularFile(path, size, &why);
  if (fd < 0) {
    if (error) *error = why;
    return nullptr;
  }
  std::unique_ptr<Archive> ar(new Archive(nullptr, 0));
  ar->fd_ = fd;
  ar->totalSize_ = size;
  ar->buffer_.resize(kBufferSize);
  ar->cur_ = ar->end_ = ar->bufferStart_ = ar->buffer_.data();
  return ar;
}

uint64_t Archive::Position() const {
  if (storing_) return written_ + outUsed_;
  return consumedBeforeBuffer_ + static_cast<uint64_t>(cur_ - bufferStart_);
}

uint64_t Archive::Remaining() const {
  uint64_t pos = Position();
  return pos <= totalSize_ ? totalSize_ - pos : 0;
}

void Archive::Require(uint64_t n, const char* what) {
  if (n > Remaining())
    throw ArchiveError(std::string("truncated: ") + what + " needs " + std::to_string(n) +
                           " bytes, " + std::to_string(Remaining()) + " remain",
                       Position());
}

void Archive::Refill() {
  // Only file archives refill; memory archives hold everything from the start.
  if (fd_ < 0) return;
  consumedBeforeBuffer_ += static_cast<uint64_t>(end_ - bufferStart_);
  ssize_t got;
  do {
    // Never past the size the file had when opened: a file that grows while
    // read cannot make the load endless.
    const uint64_t left = totalSize_ > consumedBeforeBuffer_ ? totalSize_ - consumedBeforeBuffer_ : 0;
    got = ::read(fd_, buffer_.data(), static_cast<size_t>(std::min<uint64_t>(buffer_.size(), left)));
  } while (got < 0 && errno == EINTR);
  if (got < 0) throw ArchiveError(std::string("read error: ") + std::strerror(errno), Position());
  bufferStart_ = cur_ = buffer_.data();
  end_ = cur_ + got;
}

void Archive::ReadSlow(void* data, size_t n) {
  auto* out = static_cast<uint8_t*>(data);
  while (n > 0) {
    if (cur_ == end_) {
      Refill();
      if (cur_ == end_) throw ArchiveError("unexpected end of data", Position());
    }
    size_t take = std::min(n, static_cast<size_t>(end_ - cur_));
    std::memcpy(out, cur_, take);
    cur_ += take;
    out += take;
    n -= take;
  }
}

void Archive::WriteSlow(const void* data, size_t n) {
  const auto* in = static_cast<const uint8_t*>(data);
  while (n > 0) {
    if (outUsed_ == kBufferSize) Flush();
    size_t take = std::min(n, kBufferSize - outUsed_);
    std::memcpy(out_ + outUsed_, in, take);
    outUsed_ += take;
    in += take;
    n -= take;
  }
}

bool Archive::Flush() {
  if (!storing_) return true;
  if (outUsed_ > 0) {
    if (outVec_) {
      outVec_->insert(outVec_->end(), out_, out_ + outUsed_);
    } else if (!writeFailed_ && !(sink_ && sink_(out_, outUsed_))) {
      writeFailed_ = true;
    }
    written_ += outUsed_;
    outUsed_ = 0;
  }
  return !writeFailed_;
}

void Archive::IoRaw(void* data, size_t n) {
  if (storing_)
    WriteBytes(data, n);
  else
    ReadBytes(data, n);
}

// A 16-bit count, or 0xFFFF followed by a 32-bit count for values from
// `narrowLimit` on; returns the count written or read.
uint64_t Archive::IoCount16(uint64_t value, uint64_t narrowLimit) {
  uint16_t w = value < narrowLimit ? static_cast<uint16_t>(value) : 0xFFFF;
  Io(w);
  if (w != 0xFFFF) return w;
  uint32_t d = static_cast<uint32_t>(value);
  Io(d);
  return d;
}

void Archive::IoText(std::string& text) {
  // One byte below 255, else 0xFF and a wider count (16-bit below 0xFFFE).
  uint8_t b = text.size() < 0xFF ? static_cast<uint8_t>(text.size()) : 0xFF;
  Io(b);
  const uint64_t len = b < 0xFF ? b : IoCount16(text.size(), 0xFFFE);
  if (storing_) {
    WriteBytes(text.data(), text.size());
    return;
  }
  Require(len, "text");
  text.resize(static_cast<size_t>(len));
  if (len) ReadBytes(text.data(), static_cast<size_t>(len));
}

void Archive::IoMembers(std::vector<int32_t>& members) {
  const uint64_t count = IoCount16(members.size(), 0xFFFF);
  if (!storing_) {
    Require(count * 4, "member list");
    members.resize(static_cast<size_t>(count));
  }
  for (int32_t& m : members) Io(m);
}
