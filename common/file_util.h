// Whole-file reading and crash-safe file replacement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

// Replaces a file without ever leaving it half written: bytes go to a
// temporary file in the target's folder, which is renamed over the target
// only when every write, the flush and the fsync succeeded. Until Commit()
// succeeds the previous file is untouched; an uncommitted temporary file is
// removed by Abort() or the destructor.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file next to `target` (a symbolic link is followed,
  // so the file it points to is replaced, not the link). Aborts any earlier
  // uncommitted file first.
  bool Open(const std::string& target);
  // Appends bytes. After the first failure every later call fails too.
  bool Write(const void* data, size_t size);
  bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
  // Flushes to disk, sets permissions (those of the old target when it
  // existed, else 0644 less the umask) and renames over the target.
  bool Commit();
  // Drops the temporary file; the target is left as it was.
  void Abort();

  bool IsOpen() const { return fd_ >= 0; }
  // One-line reason for the last failure, empty when there was none.
  const std::string& Error() const { return error_; }

 private:
  void Fail(const char* what, const std::string& path, int err);

  int fd_ = -1;
  int tempSlot_ = -1;  // where the signal cleanup knows the temporary file
  bool failed_ = false;
  unsigned mode_ = 0644;
  std::string target_;
  std::string tempPath_;
  std::string error_;
};

// Writes `bytes` to `path` through AtomicFileWriter.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// The largest input file any loader reads (scores, texts, MIDI files, tables).
constexpr uint64_t kMaxInputFileBytes = uint64_t(1) << 30;

// Opens a file for reading without ever blocking: a FIFO or device opens
// non-blocking and is then refused, as is anything that is not a regular
// file ("不是普通文件") or is larger than `maxBytes`. Returns the descriptor
// (blocking again, close-on-exec) and the size fstat reported, or -1 with a
// one-line reason.
int OpenRegularFile(const std::string& path, uint64_t& size, std::string* error,
                    uint64_t maxBytes = kMaxInputFileBytes);

// Reads a whole regular file (see OpenRegularFile), never more than the size
// fstat reported. On failure `out` is left unchanged and `error`, when
// given, receives a one-line reason; running out of memory is such a failure.
bool ReadWholeFile(const std::string& path, std::string& out, std::string* error = nullptr,
                   uint64_t maxBytes = kMaxInputFileBytes);
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string* error = nullptr,
                   uint64_t maxBytes = kMaxInputFileBytes);

// Removes the temporary files of saves in progress when the process gets
// SIGINT, SIGTERM or SIGHUP, then lets the signal end the process as it
// would have. Every save installs it where the signal's action is still the
// default; an ignored signal or a handler the program set itself is kept.
void InstallSaveInterruptCleanup();

// The process umask, read without changing it (umask(2) can only be read by
// setting it, which would race with other threads creating files).
unsigned CurrentUmask();

}  // namespace qx
