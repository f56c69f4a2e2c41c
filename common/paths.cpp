#include "common/paths.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qx {
namespace {

std::string WithTrailingSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string ReadProgramDirectory() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) break;
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      const size_t slash = buffer.rfind('/');
      if (slash != std::string::npos) return buffer.substr(0, slash + 1);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  // No /proc (e.g. a bare chroot): the working directory is the best guess.
  if (char* cwd = ::getcwd(nullptr, 0)) {
    std::string dir = cwd;
    std::free(cwd);
    return WithTrailingSlash(std::move(dir));
  }
  return "./";
}

std::string& ProgramDirectoryOverride() {
  static std::string value;
  return value;
}

std::string Slashes(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

bool IsWritableDirectory(const std::string& dir) {
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// Creates `dir` 0700 if missing and accepts it only when it is a real
// folder (not a link) owned by this user and closed to others; shared
// places like /tmp let anyone create the name first.
bool EnsurePrivateDirectory(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
  if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) return false;
  return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// mkdir -p with mode 0700 for the folders it creates.
bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    const std::string part = dir.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return IsWritableDirectory(dir);
}

std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value && value[0] == '/') return value;
  return std::string();
}

std::string HomeDirectory() {
  std::string home = AbsoluteEnv("HOME");
  if (!home.empty()) return home;
  std::vector<char> buf(16384);
  struct passwd pw {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return std::string();
}

// Private scratch folder outside the program folder.
std::string ScratchDirectory() {
  const std::string runtime = AbsoluteEnv("XDG_RUNTIME_DIR");
  if (!runtime.empty()) {
    const std::string dir = NormalizePath(runtime + "/quavix");
    if (EnsurePrivateDirectory(dir)) return dir + '/';
  }
  const std::string tmp = "/tmp/quavix-" + std::to_string(::getuid());
  if (EnsurePrivateDirectory(tmp)) return tmp + '/';
  // The fixed name is taken by someone else or unusable: use a fresh private
  // folder for the rest of this run.
  static std::mutex mutex;
  static std::string fresh;
  std::lock_guard<std::mutex> lock(mutex);
  if (fresh.empty() || !IsWritableDirectory(fresh)) {
    std::string pattern = tmp + "-XXXXXX";
    fresh = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  if (!fresh.empty()) return fresh + '/';
  return tmp + '/';
}

}  // namespace

const std::string& ProgramDirectory() {
  static const std::string real = ReadProgramDirectory();
  const std::string& custom = ProgramDirectoryOverride();
  return custom.empty() ? real : custom;
}

void SetProgramDirectoryForTesting(std::string dir) {
  ProgramDirectoryOverride() = dir.empty() ? std::string() : WithTrailingSlash(std::move(dir));
}

std::string NormalizePath(std::string_view path) {
  if (path.empty()) return std::string();
  const bool rooted = path.front() == '/';
  const bool trailing = path.back() == '/';
  std::vector<std::string_view> parts;
  size_t fixed = 0;  // parts ".." may not remove: a drive prefix like "C:"
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.size() > fixed && parts.back() != "..") {
        parts.pop_back();
      } else if (!rooted && fixed == 0) {
        parts.push_back(part);
      }
      continue;
    }
    if (!rooted && parts.empty() && part.find(':') != std::string_view::npos) fixed = 1;
    parts.push_back(part);
  }
  std::string out;
  out.reserve(path.size());
  if (rooted) out += '/';
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '/';
    out.append(parts[i]);
  }
  if (out.empty()) return ".";
  if (trailing && out.back() != '/') out += '/';
  return out;
}

bool IsAbsoluteName(std::string_view name) {
  return (!name.empty() && (name.front() == '/' || name.front() == '\\')) ||
         name.find(':') != std::string_view::npos;
}

std::string ProgramPath(std::string_view name) {
  const std::string slashed = Slashes(name);
  if (IsAbsoluteName(slashed)) return NormalizePath(slashed);
  return NormalizePath(ProgramDirectory() + slashed);
}

std::string ResolveRelativeTo(std::string_view baseFile, std::string_view name) {
  const std::string slashed = Slashes(name);
  if (IsAbsoluteName(slashed)) return NormalizePath(slashed);
  const size_t slash = baseFile.rfind('/');
  if (slash == std::string_view::npos) return NormalizePath(slashed);
  std::string joined(baseFile.substr(0, slash + 1));
  joined += slashed;
  return NormalizePath(joined);
}

std::string WritableFileDirectory() {
  const std::string& program = ProgramDirectory();
  if (IsWritableDirectory(program)) return program;
  return ScratchDirectory();
}

std::string SettingsDirectory() {
  const std::string& program = ProgramDirectory();
  if (IsWritableDirectory(program)) return program;
  std::string base = AbsoluteEnv("XDG_CONFIG_HOME");
  if (base.empty()) {
    const std::string home = HomeDirectory();
    if (!home.empty()) base = home + "/.config";
  }
  if (!base.empty()) {
    const std::string dir = NormalizePath(base + "/quavix");
    if (MakeDirectories(dir)) return dir + '/';
  }
  return ScratchDirectory();
}

std::string TempFilePath(std::string_view name) {
  std::string path = WritableFileDirectory();
  path += name;
  return path;
}

namespace {
// Position of the extension's dot, or npos.
size_t ExtensionDot(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return dot;
  const size_t sep = path.find_last_of("/\\");
  if (sep != std::string_view::npos && sep > dot) return std::string_view::npos;
  return dot;
}
}  // namespace

std::string FileExtensionLower(std::string_view path) {
  const size_t dot = ExtensionDot(path);
  if (dot == std::string_view::npos) return std::string();
  std::string ext(path.substr(dot));
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext;
}

std::string ReplaceExtension(std::string_view path, std::string_view ext) {
  const size_t dot = ExtensionDot(path);
  std::string out(path.substr(0, dot == std::string_view::npos ? path.size() : dot));
  if (!ext.empty() && ext.front() != '.') out += '.';
  out += ext;
  return out;
}

}  // namespace qx
