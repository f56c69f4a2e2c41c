#include "notation/glyph_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "common/paths.h"
#include "model/archive.h"

const char kUndefinedGlyphName[] = "undefined";

namespace {

// The smallest stored entry: six int32 and an empty name's length byte.
constexpr uint64_t kMinEntryBytes = 6 * 4 + 1;

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

void IoEntry(Archive& ar, GlyphEntry& e) {
  ar.Io(e.Font);
  ar.Io(e.Character);
  ar.Io(e.GlyphDx);
  ar.Io(e.GlyphDy);
  ar.Io(e.StemDx);
  ar.Io(e.StemDy);
  ar.IoText(e.Name);
}

// Creates `path` holding `bytes`, only if it does not exist yet. A failed
// write leaves no half file behind.
bool CreateNewFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetError(error, "cannot create " + path + ": " + std::strerror(errno));
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetError(error, "cannot write " + path + ": " + std::strerror(errno));
      ::close(fd);
      ::unlink(path.c_str());
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) {
    SetError(error, "cannot write " + path + ": " + std::strerror(errno));
    ::unlink(path.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool GlyphTable::Load(const std::string& path, std::string* error) {
  std::string openError;
  std::unique_ptr<Archive> ar = Archive::OpenFileForLoad(path, &openError);
  if (!ar) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
      // First run: leave a file for the character editor to fill. A folder
      // we may not write to (an installed program) just gets no file.
      std::string createError;
      CreateNewFile(path, Encode(), &createError);
      SetError(error, openError + (createError.empty() ? "; created it" : "; " + createError));
    } else {
      SetError(error, openError);
    }
    return false;
  }
  try {
    int32_t count = 0;
    ar->Io(count);
    if (count < 0) throw ArchiveError("negative entry count " + std::to_string(count), ar->Position());
    int32_t stored = count < kGlyphEntryCount ? count : kGlyphEntryCount;
    ar->Require(static_cast<uint64_t>(stored) * kMinEntryBytes, "glyph entries");
    std::vector<GlyphEntry> loaded(kGlyphEntryCount);
    for (int32_t code = 0; code < kGlyphEntryCount; ++code) {
      GlyphEntry& e = loaded[static_cast<size_t>(code)];
      e.Code = code;
      if (code < stored) {
        IoEntry(*ar, e);
      } else {
        e.Name = kUndefinedGlyphName;
      }
    }
    entries_ = std::move(loaded);
    return true;
  } catch (const ArchiveError& e) {
    SetError(error, path + ": " + e.what() + " at byte " + std::to_string(e.Offset));
    return false;
  }
}

const GlyphEntry* GlyphTable::Find(int code) const {
  if (code < 0 || static_cast<size_t>(code) >= entries_.size()) return nullptr;
  return &entries_[static_cast<size_t>(code)];
}

std::vector<uint8_t> GlyphTable::Encode() const {
  std::vector<uint8_t> out;
  {
    Archive ar(out);
    int32_t count = static_cast<int32_t>(entries_.size());
    ar.Io(count);
    for (GlyphEntry e : entries_) IoEntry(ar, e);
  }
  return out;
}

GlyphTable& CharList() {
  static GlyphTable table;
  return table;
}

bool LoadCharList() { return CharList().Load(qx::ProgramPath("res/charlist.dat")); }

bool LoadCharList(const std::string& path, std::string* error) { return CharList().Load(path, error); }

const GlyphEntry* GetGlyph(int code) { return CharList().Find(code); }
