#include "common/file_util.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <csignal>
#include <mutex>
#include <new>
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
bool ReadInto(const std::string& path, Buffer& out, std::string* error, uint64_t maxBytes) {
  uint64_t size = 0;
  const int fd = OpenRegularFile(path, size, error, maxBytes);
  if (fd < 0) return false;
  try {
    Buffer data;
    // Never more than fstat reported: a file that grows while it is read
    // (or one of the endless kind) cannot make the read endless.
    data.resize(static_cast<size_t>(size));
    size_t used = 0;
    while (used < data.size()) {
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
  } catch (const std::bad_alloc&) {
    ::close(fd);
    if (error) *error = Reason("read", path, ENOMEM);
    return false;
  }
}

// Paths of the temporary files of saves in progress, for the signal handler:
// fixed slots, so the handler only reads plain memory.
constexpr int kTempSlots = 16;
constexpr size_t kTempPathMax = 4096;
char gTempPaths[kTempSlots][kTempPathMax];
volatile sig_atomic_t gTempUsed[kTempSlots];
std::mutex gTempMutex;

extern "C" void RemoveTempFilesAndReraise(int sig) {
  for (int i = 0; i < kTempSlots; ++i)
    if (gTempUsed[i]) ::unlink(gTempPaths[i]);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

int RegisterTemp(const std::string& path) {
  if (path.size() >= kTempPathMax) return -1;
  std::lock_guard<std::mutex> lock(gTempMutex);
  for (int i = 0; i < kTempSlots; ++i)
    if (!gTempUsed[i]) {
      std::memcpy(gTempPaths[i], path.c_str(), path.size() + 1);
      gTempUsed[i] = 1;
      return i;
    }
  return -1;
}

void UnregisterTemp(int slot) {
  if (slot < 0) return;
  std::lock_guard<std::mutex> lock(gTempMutex);
  gTempUsed[slot] = 0;
}

// Follows a chain of symbolic links to the name the data lives under, also
// when the last link dangles (the save then creates the file it names).
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(size_t(PATH_MAX), '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n <= 0) return current;
    target.resize(size_t(n));
    current = target[0] == '/' ? target : FolderOf(current) + "/" + target;
  }
  return current;  // a loop: the rename will fail with its own reason
}

}  // namespace

int OpenRegularFile(const std::string& path, uint64_t& size, std::string* error, uint64_t maxBytes) {
  int fd;
  // Non-blocking, so that a FIFO without a writer cannot hold the open.
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (error) *error = Reason("cannot open", path, errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    if (error) *error = Reason("stat", path, err);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    if (error)
      *error = path + ": 不是普通文件 (not a regular file" + (S_ISDIR(st.st_mode) ? ": a folder)" : ")");
    return -1;
  }
  if (st.st_size < 0 || uint64_t(st.st_size) > maxBytes) {
    ::close(fd);
    if (error)
      *error = path + ": 文件太大 (file too large: " + std::to_string(uint64_t(st.st_size)) + " bytes, at most " +
               std::to_string(maxBytes) + ")";
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  size = uint64_t(st.st_size);
  return fd;
}

void InstallSaveInterruptCleanup() {
  std::lock_guard<std::mutex> lock(gTempMutex);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) != 0) continue;
    // Keep ignored signals ignored and handlers the program installed.
    if (old.sa_handler != SIG_DFL || (old.sa_flags & SA_SIGINFO)) continue;
    struct sigaction action {};
    action.sa_handler = RemoveTempFilesAndReraise;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(sig, &action, nullptr);
  }
}

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
  // Replace the file a link points to and keep the link itself; a dangling
  // link gets the file it names.
  target_ = FollowLinks(target);
  struct stat st {};
  if (::stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      Fail("replace", target_, EISDIR);
      return false;
    }
    mode_ = st.st_mode & 07777;
  } else {
    mode_ = 0644u & ~CurrentUmask();
  }

  InstallSaveInterruptCleanup();
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
  tempSlot_ = RegisterTemp(tempPath_);
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
  UnregisterTemp(tempSlot_);
  tempSlot_ = -1;
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
  UnregisterTemp(tempSlot_);
  tempSlot_ = -1;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  AtomicFileWriter writer;
  const bool ok = writer.Open(path) && writer.Write(bytes) && writer.Commit();
  if (!ok && error) *error = writer.Error();
  return ok;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string* error, uint64_t maxBytes) {
  return ReadInto(path, out, error, maxBytes);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string* error, uint64_t maxBytes) {
  return ReadInto(path, out, error, maxBytes);
}

}  // namespace qx
