#include "common/file_util.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qx {
namespace {

std::string Reason(const char* what, const std::string& path, int err) {
  std::string text = what;
  if (!path.empty()) {
    text += ' ';
    text += path;
  }
  text += ": ";
  text += std::generic_category().message(err);
  return text;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates a unique file from a mkstemp template; returns the fd or -1.
int MakeTemp(std::string& pathTemplate) {
  return mkostemp(pathTemplate.data(), O_CLOEXEC);
}

template <typename Buffer>
bool ReadInto(const std::string& path, Buffer& out, std::string* error) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (error) *error = Reason("open", path, errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    if (error) *error = Reason("read", path, EISDIR);
    return false;
  }
  Buffer data;
  // Files under /proc report size 0, so the size is only a hint.
  size_t capacity = st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 4096;
  data.resize(capacity);
  size_t used = 0;
  for (;;) {
    if (used == data.size()) data.resize(data.size() * 2);
    const ssize_t got = ::read(fd, data.data() + used, data.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      if (error) *error = Reason("read", path, err);
      return false;
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  ::close(fd);
  data.resize(used);
  out.swap(data);
  return true;
}

}  // namespace

unsigned CurrentUmask() {
  // Linux 4.7+ reports it in /proc/self/status.
  if (FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (std::fgets(line, sizeof line, f)) {
      if (std::sscanf(line, "Umask: %o", &mask) == 1) {
        found = true;
        break;
      }
    }
    std::fclose(f);
    if (found) return mask & 0777;
  }
  return 022;
}

AtomicFileWriter::~AtomicFileWriter() { Abort(); }

void AtomicFileWriter::Fail(const char* what, const std::string& path, int err) {
  failed_ = true;
  error_ = Reason(what, path, err);
}

bool AtomicFileWriter::Open(const std::string& target) {
  Abort();
  failed_ = false;
  error_.clear();
  if (target.empty()) {
    Fail("open", target, ENOENT);
    return false;
  }
  target_ = target;
  struct stat st {};
  if (::lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replace the file the link points to and keep the link itself.
    if (char* real = ::realpath(target_.c_str(), nullptr)) {
      target_ = real;
      std::free(real);
    }
  }
  if (::stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      Fail("replace", target_, EISDIR);
      return false;
    }
    mode_ = st.st_mode & 07777;
  } else {
    mode_ = 0644u & ~CurrentUmask();
  }

  tempPath_ = target_ + ".XXXXXX";
  fd_ = MakeTemp(tempPath_);
  if (fd_ < 0 && errno == ENAMETOOLONG) {
    // The target's own name is near NAME_MAX; use a short name in its folder.
    tempPath_ = FolderOf(target_) + "/.qx-save.XXXXXX";
    fd_ = MakeTemp(tempPath_);
  }
  if (fd_ < 0) {
    const int err = errno;
    Fail("create temporary file for", target_, err);
    tempPath_.clear();
    return false;
  }
  return true;
}

bool AtomicFileWriter::Write(const void* data, size_t size) {
  if (fd_ < 0 || failed_) {
    if (!failed_) Fail("write", target_, EBADF);
    return false;
  }
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t put = ::write(fd_, p, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      Fail("write", tempPath_, errno);
      return false;
    }
    p += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0) {
    if (!failed_) Fail("commit", target_, EBADF);
    return false;
  }
  if (failed_) {
    Abort();
    return false;
  }
  if (::fchmod(fd_, mode_) != 0) {
    Fail("chmod", tempPath_, errno);
  } else if (::fsync(fd_) != 0) {
    Fail("fsync", tempPath_, errno);
  }
  // close() can report a delayed write error (e.g. on network file systems).
  const int closed = ::close(fd_);
  const int closeErr = errno;
  fd_ = -1;
  if (!failed_ && closed != 0 && closeErr != EINTR) Fail("close", tempPath_, closeErr);
  if (!failed_ && ::rename(tempPath_.c_str(), target_.c_str()) != 0) {
    Fail("rename over", target_, errno);
  }
  if (failed_) {
    Abort();
    return false;
  }
  tempPath_.clear();
  // Make the rename itself durable; a failure here cannot lose the new data.
  const int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void AtomicFileWriter::Abort() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  AtomicFileWriter writer;
  const bool ok = writer.Open(path) && writer.Write(bytes) && writer.Commit();
  if (!ok && error) *error = writer.Error();
  return ok;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string* error) {
  return ReadInto(path, out, error);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string* error) {
  return ReadInto(path, out, error);
}

}  // namespace qx
