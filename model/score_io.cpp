// Storing and loading the score byte stream.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "common/file_util.h"
#include "model/archive.h"
#include "model/score.h"

namespace {
void IoPen(Archive& ar, LogPen& p) {
  ar.Io(p.Style);
  ar.Io(p.WidthX);
  ar.Io(p.WidthY);
  ar.Io(p.Color);
}

void IoFont(Archive& ar, LogFont& f) {
  ar.Io(f.Height);
  ar.Io(f.Width);
  ar.Io(f.Escapement);
  ar.Io(f.Orientation);
  ar.Io(f.Weight);
  ar.Io(f.Italic);
  ar.Io(f.Underline);
  ar.Io(f.StrikeOut);
  ar.Io(f.CharSet);
  ar.Io(f.OutPrecision);
  ar.Io(f.ClipPrecision);
  ar.Io(f.Quality);
  ar.Io(f.PitchAndFamily);
  ar.IoRaw(f.FaceName, sizeof(f.FaceName));
}

// Reads a table count and checks that the table fits in what remains.
size_t ReadCount(Archive& ar, uint64_t recordSize, const char* what) {
  int32_t n = 0;
  ar.Io(n);
  if (n < 0) throw ArchiveError(std::string("negative ") + what + " count " + std::to_string(n), ar.Position() - 4);
  ar.Require(static_cast<uint64_t>(n) * recordSize, what);
  return static_cast<size_t>(n);
}

std::string FormatVersion(uint32_t v) {
  return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." + std::to_string((v >> 8) & 0xFF) +
         "." + std::to_string(v & 0xFF);
}
}  // namespace

void StoreObjectEntry(Archive& ar, CXObject& object) {
  uint8_t kind = static_cast<uint8_t>(object.GetKind());
  ar.Io(kind);
  object.Serialize(ar);
}

std::unique_ptr<CXObject> LoadObjectEntry(Archive& ar, size_t index) {
  uint64_t at = ar.Position();
  uint8_t kind = 0;
  ar.Io(kind);
  std::unique_ptr<CXObject> o = CreateObject(kind);
  if (!o) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "unknown object kind 0x%02X (object %zu)", kind, index);
    throw ArchiveError(buf, at);
  }
  o->Serialize(ar);
  return o;
}

// The 58-byte header, both ways. A stored score always carries the current
// version and a zero reserved byte; loading keeps what the file holds.
void CScore::IoHeader(Archive& ar) {
  ar.IoRaw(FileType, 4);
  uint32_t version = kScoreVersion;
  uint8_t reserved = 0;
  ar.Io(ar.IsStoring() ? version : Version);
  ar.Io(PaperWidth);
  ar.Io(PaperHeight);
  ar.Io(LeftMargin);
  ar.Io(TopMargin);
  ar.Io(StaveSpace);
  ar.Io(SystemSpace);
  ar.Io(LineSpace);
  ar.Io(TimeBase);
  ar.Io(Tempo);
  ar.Io(Numerator);
  ar.Io(Denominator);
  ar.Io(Layer);
  ar.Io(ar.IsStoring() ? reserved : ReservedByte);
  ar.Io(Font);
  ar.Io(Voice);
  ar.Io(SnapRadius);
  ar.Io(UpperNumber);
}

void CScore::StoreBody(Archive& ar) {
  IoHeader(ar);

  int32_t n = static_cast<int32_t>(Layers.size());
  ar.Io(n);
  for (CLayer& l : Layers) {
    ar.Io(l.Color);
    ar.Io(l.Style);
  }
  n = static_cast<int32_t>(Pens.size());
  ar.Io(n);
  for (LogPen& p : Pens) IoPen(ar, p);
  n = static_cast<int32_t>(Fonts.size());
  ar.Io(n);
  for (LogFont& f : Fonts) IoFont(ar, f);
  n = static_cast<int32_t>(objects_.size());
  ar.Io(n);
  for (auto& o : objects_) StoreObjectEntry(ar, *o);
}

void CScore::LoadBody(Archive& ar) {
  IoHeader(ar);

  Layers.resize(ReadCount(ar, 8, "layer table"));
  for (CLayer& l : Layers) {
    ar.Io(l.Color);
    ar.Io(l.Style);
  }
  Pens.resize(ReadCount(ar, 16, "pen table"));
  for (LogPen& p : Pens) IoPen(ar, p);
  Fonts.resize(ReadCount(ar, 60, "font table"));
  for (LogFont& f : Fonts) IoFont(ar, f);

  size_t count = ReadCount(ar, kMinObjectEntry, "object list");
  objects_.reserve(count);
  for (size_t i = 0; i < count; ++i) objects_.push_back(LoadObjectEntry(ar, i));
  indexDirty_ = true;
  // New objects are numbered from the counter; one that lags behind the
  // highest Number read (a damaged or foreign file) would hand out Numbers
  // already taken. A counter ahead of the Numbers is kept as it is.
  int64_t next = UpperNumber;
  for (const auto& o : objects_) next = std::max<int64_t>(next, int64_t(o->Number) + 1);
  UpperNumber = static_cast<int32_t>(std::min<int64_t>(next, std::numeric_limits<int32_t>::max()));
}

namespace {
// Far beyond any page (some 20,000 pages down): coordinates and spacings of
// this size leave room for the sums and products of the layout arithmetic.
constexpr int32_t kGeometryLimit = 1 << 24;
void ClampTo(int32_t& v, int32_t lo = -kGeometryLimit) { v = std::clamp(v, lo, kGeometryLimit); }
}  // namespace

void CScore::ClampGeometry() {
  DropDerivedCache();
  for (int32_t* v : {&PaperWidth, &PaperHeight, &LeftMargin, &TopMargin, &StaveSpace, &SystemSpace, &LineSpace})
    ClampTo(*v);
  for (const auto& up : objects_) {
    CXObject* o = up.get();
    ClampTo(o->Left);
    ClampTo(o->Top);
    ClampTo(o->Right);
    ClampTo(o->Bottom);
    // Clamping may have closed a box at an edge; it opens inwards again.
    if (o->Right <= o->Left) o->Left == -kGeometryLimit ? (o->Right = o->Left + 1) : (o->Left = o->Right - 1);
    if (o->Bottom <= o->Top) o->Top == -kGeometryLimit ? (o->Bottom = o->Top + 1) : (o->Top = o->Bottom - 1);
    if (auto* w = As<CXWord>(o)) {
      ClampTo(w->X);
      ClampTo(w->Y);
    }
    if (auto* b = As<CBeam>(o)) {
      ClampTo(b->X1);
      ClampTo(b->Y1);
    } else if (auto* sl = As<CSlurLine>(o)) {
      for (int32_t* v : {&sl->X1, &sl->Y1, &sl->X2, &sl->Y2}) ClampTo(*v);
    } else if (auto* l = As<CXLine>(o)) {
      for (int32_t* v : {&l->X, &l->Y, &l->X1, &l->Y1}) ClampTo(*v);
    } else if (auto* st = As<CStave>(o)) {
      ClampTo(st->LineSpace);
    } else if (auto* sy = As<CStaff>(o)) {
      ClampTo(sy->Spacing);
    }
  }
}

void CScore::TakeContentFrom(CScore& other) {
  std::memcpy(FileType, other.FileType, 4);
  Version = other.Version;
  PaperWidth = other.PaperWidth;
  PaperHeight = other.PaperHeight;
  LeftMargin = other.LeftMargin;
  TopMargin = other.TopMargin;
  StaveSpace = other.StaveSpace;
  SystemSpace = other.SystemSpace;
  LineSpace = other.LineSpace;
  TimeBase = other.TimeBase;
  Tempo = other.Tempo;
  Numerator = other.Numerator;
  Denominator = other.Denominator;
  Layer = other.Layer;
  ReservedByte = other.ReservedByte;
  Font = other.Font;
  Voice = other.Voice;
  SnapRadius = other.SnapRadius;
  UpperNumber = other.UpperNumber;
  Layers = std::move(other.Layers);
  Pens = std::move(other.Pens);
  Fonts = std::move(other.Fonts);
  ResetRunTimeLinks();
  DropDerivedCache();  // it names the objects that go now
  objects_ = std::move(other.objects_);
  other.objects_.clear();
  denseIndex_.clear();
  sparseIndex_.clear();
  indexDirty_ = true;
  RecountSelection();
}

void CScore::Serialize(Archive& ar) {
  if (ar.IsStoring()) {
    StoreBody(ar);
    return;
  }
  // Load into a fresh score so that a failure leaves this one as it was.
  CScore fresh;
  fresh.LoadBody(ar);
  TakeContentFrom(fresh);
}

bool CScore::SaveToFile(const std::string& path, std::string* error) {
  qx::AtomicFileWriter writer;
  if (!writer.Open(path)) {
    if (error) *error = writer.Error();
    return false;
  }
  Archive ar([&](const void* data, size_t n) { return writer.Write(data, n); });
  StoreBody(ar);
  if (!ar.Flush() || !writer.Commit()) {
    if (error) *error = writer.Error().empty() ? "write error on " + path : writer.Error();
    return false;
  }
  return true;
}

uint32_t CScore::PeekVersion(const std::string& path) {
  uint64_t size = 0;
  const int fd = qx::OpenRegularFile(path, size, nullptr);
  if (fd < 0) return 0;
  uint8_t b[8];
  ssize_t got = ::read(fd, b, sizeof b);
  ::close(fd);
  if (got != 8) return 0;
  return uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 | uint32_t(b[7]) << 24;
}

bool CScore::LoadFromFile(const std::string& path, std::string* error) {
  std::string why;
  std::unique_ptr<Archive> ar = Archive::OpenFileForLoad(path, &why);
  if (!ar) {
    if (error) *error = why;
    return false;
  }
  uint32_t version = PeekVersion(path);
  if (version != kScoreVersion) {
    if (error)
      *error = ar->Remaining() < 8 ? path + " is not a score (too short)"
                                   : path + ": version " + FormatVersion(version) + " refused (only " +
                                         FormatVersion(kScoreVersion) + " is read)";
    return false;
  }
  try {
    CScore fresh;
    fresh.LoadBody(*ar);
    TakeContentFrom(fresh);
  } catch (const ArchiveError& e) {
    if (error) *error = path + ": " + e.what() + " at byte " + std::to_string(e.Offset);
    return false;
  } catch (const std::bad_alloc&) {
    if (error) *error = path + ": 内存不足 (out of memory while loading)";
    return false;
  }
  return true;
}

std::vector<uint8_t> CScore::SnapshotToBytes() {
  std::vector<uint8_t> bytes;
  bytes.reserve(1024 + objects_.size() * 80);
  {
    Archive ar(bytes);
    StoreBody(ar);
    ar.Flush();
  }
  return bytes;
}

bool CScore::RestoreFromBytes(const uint8_t* data, size_t size, std::string* error) {
  Archive ar(data, size);
  try {
    Serialize(ar);
  } catch (const ArchiveError& e) {
    if (error) *error = std::string(e.what()) + " at byte " + std::to_string(e.Offset);
    return false;
  } catch (const std::bad_alloc&) {
    if (error) *error = "out of memory";
    return false;
  }
  return true;
}
