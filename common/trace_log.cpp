#include "common/trace_log.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "common/paths.h"

TraceLog& TraceLog::Instance() {
  // Leaked on purpose: the object must outlive every static destructor that
  // may still log. The descriptor is closed by an exit handler.
  static TraceLog* const log = [] {
    auto* created = new TraceLog();
    std::atexit([] { TraceLog::Instance().Close(); });
    return created;
  }();
  return *log;
}

std::string TraceLog::PathLocked() const {
  return path_.empty() ? qx::TempFilePath("trace.log") : path_;
}

std::string TraceLog::Path() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return PathLocked();
}

void TraceLog::Write(std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return;
  if (!tried_) {
    tried_ = true;
    // O_NOFOLLOW: the fallback folder may be shared, never write through a link.
    fd_ = ::open(PathLocked().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
  }
  if (fd_ < 0) return;
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t put = ::write(fd_, p, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      return;  // a full disk must not take the program down with it
    }
    p += put;
    left -= static_cast<size_t>(put);
  }
}

void TraceLog::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  closed_ = true;
}

void TraceLog::ResetForTesting(std::string path) {
  TraceLog& log = Instance();
  std::lock_guard<std::mutex> lock(log.mutex_);
  if (log.fd_ >= 0) ::close(log.fd_);
  log.fd_ = -1;
  log.tried_ = false;
  log.closed_ = false;
  log.path_ = std::move(path);
}

namespace qx {
void Trace(std::string_view text) { TraceLog::Instance().Write(text); }
}  // namespace qx
