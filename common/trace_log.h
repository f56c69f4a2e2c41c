// Process-wide diagnostic log ("trace.log" in the writable file folder).
#pragma once

#include <mutex>
#include <string>
#include <string_view>

// One log per process. The first write of a run creates (truncates) the file;
// every write appends the text as given (no line end is added) and reaches
// the file before Write returns. When the file cannot be opened, writes are
// dropped for the rest of the run instead of retrying each time.
class TraceLog {
 public:
  static TraceLog& Instance();

  void Write(std::string_view text);
  // Path of the log file, as used by the next open.
  std::string Path() const;
  // Closes the file; later writes are dropped (used at process exit).
  void Close();

  // Closes the log and makes the next write open `path` anew (an empty path
  // restores the default location).
  static void ResetForTesting(std::string path);

 private:
  TraceLog() = default;
  ~TraceLog() = delete;  // never destroyed, so logging from late destructors is safe
  std::string PathLocked() const;

  mutable std::mutex mutex_;
  int fd_ = -1;
  bool tried_ = false;   // an open was attempted this run
  bool closed_ = false;  // closed for good (exit)
  std::string path_;     // empty: qx::TempFilePath("trace.log")
};

namespace qx {
// Appends `text` to the process trace log.
void Trace(std::string_view text);
}  // namespace qx
