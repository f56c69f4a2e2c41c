#include "exchange/score_text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "common/ini_file.h"
#include "common/text_util.h"
#include "model/score.h"

namespace {

// ---- the two directions ------------------------------------------------------
//
// One field list per class serves both directions: the writer formats each
// field, the reader parses it back. Integers are "%d"; 8-bit fields are
// written sign-extended and read back as their low byte. Font bytes are the
// exception and go through Byte(): written 0..255.

// Formats the document as IniFile text and has the IniFile parse it. Going
// through text rather than SetValue gives every object its own section even
// when two objects share a Number (pasting keeps Numbers); SetValue would
// merge them into one section and lose one of the objects.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  void Section(std::string_view name) {
    out_ += '[';
    out_ += name;
    out_ += "]\n";
  }
  void Section(std::string_view prefix, int32_t number) {
    out_ += '[';
    out_ += prefix;
    AppendInt(number);
    out_ += "]\n";
  }

  void Int(std::string_view key, int32_t value) {
    out_ += key;
    out_ += '=';
    AppendInt(value);
    out_ += '\n';
  }

  void Text(std::string_view key, std::string_view value) {
    out_ += key;
    out_ += '=';
    IniFile::AppendEscaped(value, out_);
    out_ += '\n';
  }

  template <typename T>
  void Field(std::string_view key, const T& value) {
    if constexpr (std::is_same_v<T, std::string>) {
      Text(key, value);
    } else {
      static_assert(std::is_integral_v<T> && (sizeof(T) == 1 || sizeof(T) == 4));
      if constexpr (sizeof(T) == 1) {
        Int(key, static_cast<int8_t>(value));
      } else {
        Int(key, static_cast<int32_t>(value));
      }
    }
  }

  void Byte(std::string_view key, uint8_t value) { Int(key, value); }
  void Face(std::string_view key, const LogFont& font) { Text(key, font.Face()); }

 private:
  void AppendInt(int32_t value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
  }

  std::string& out_;
};

// Reads the fields of one section; a missing section or key reads as 0, a
// missing text as empty. Where a key repeats, the first one counts.
class Reader {
 public:
  explicit Reader(const IniFile::Section* section) : section_(section) {}

  int Int(std::string_view key) const {
    const std::string* value = Find(key);
    return value ? qx::AtoiLike(*value) : 0;
  }

  template <typename T>
  void Field(std::string_view key, T& field) const {
    if constexpr (std::is_same_v<T, std::string>) {
      const std::string* value = Find(key);
      if (value) {
        field = *value;
      } else {
        field.clear();
      }
    } else {
      static_assert(std::is_integral_v<T> && (sizeof(T) == 1 || sizeof(T) == 4));
      if constexpr (sizeof(T) == 1) {
        field = static_cast<T>(static_cast<uint8_t>(Int(key)));
      } else {
        field = static_cast<T>(Int(key));
      }
    }
  }

  void Byte(std::string_view key, uint8_t& field) const { field = static_cast<uint8_t>(Int(key)); }
  // SetFace keeps at most 31 bytes, leaving the terminating zero.
  void Face(std::string_view key, LogFont& font) const {
    const std::string* value = Find(key);
    font.SetFace(value ? *value : std::string());
  }

 private:
  const std::string* Find(std::string_view key) const { return section_ ? section_->Find(key) : nullptr; }

  const IniFile::Section* section_;
};

// ---- settings and tables ---------------------------------------------------------

// "PaperWidth" to "UpperNumber"; FileType and Version are written by the
// caller and never read back.
template <typename S, typename V>
void VisitSettings(S& s, V& v) {
  v.Field("PaperWidth", s.PaperWidth);
  v.Field("PaperHeight", s.PaperHeight);
  v.Field("LeftMargin", s.LeftMargin);
  v.Field("TopMargin", s.TopMargin);
  v.Field("StaveSpace", s.StaveSpace);
  v.Field("SystemSpace", s.SystemSpace);
  v.Field("LineSpace", s.LineSpace);
  v.Field("TimeBase", s.TimeBase);
  v.Field("Tempo", s.Tempo);
  v.Field("Numerator", s.Numerator);
  v.Field("Denominator", s.Denominator);
  v.Field("Layer", s.Layer);
  v.Field("Font", s.Font);
  v.Field("Voice", s.Voice);
  v.Field("SnapRadius", s.SnapRadius);
  v.Field("UpperNumber", s.UpperNumber);
}

template <typename L, typename V>
void VisitLayer(L& layer, V& v) {
  v.Field("Style", layer.Style);
  v.Field("Color", layer.Color);
}

template <typename P, typename V>
void VisitPen(P& pen, V& v) {
  v.Field("Color", pen.Color);
  v.Field("Style", pen.Style);
  v.Field("WidthX", pen.WidthX);
  v.Field("WidthY", pen.WidthY);
}

// The escapement is not exchanged. "OutPricision" is the key as the format
// spells it.
template <typename F, typename V>
void VisitFont(F& f, V& v) {
  v.Byte("CharSet", f.CharSet);
  v.Face("FaceName", f);
  v.Byte("ClipPrecision", f.ClipPrecision);
  v.Field("Height", f.Height);
  v.Byte("Italic", f.Italic);
  v.Field("Orientation", f.Orientation);
  v.Byte("OutPricision", f.OutPrecision);
  v.Byte("PitchAndFamily", f.PitchAndFamily);
  v.Byte("Quality", f.Quality);
  v.Byte("StrikeOut", f.StrikeOut);
  v.Byte("UnderLine", f.Underline);
  v.Field("Weight", f.Weight);
  v.Field("Width", f.Width);
}

// ---- objects: each class visits its base's fields first ---------------------------
//
// "Kind" and "KindName" lead every object section; the callers handle them.

template <typename O, typename V>
void VisitObject(O& o, V& v) {
  v.Field("Number", o.Number);
  v.Field("Value", o.Value);
  v.Field("Style", o.Style);
  v.Field("Left", o.Left);
  v.Field("Top", o.Top);
  v.Field("Right", o.Right);
  v.Field("Bottom", o.Bottom);
  v.Field("Layer", o.Layer);
  v.Field("Selected", o.Selected);
}

template <typename O, typename V>
void VisitStaveObject(O& o, V& v) {
  VisitObject(o, v);
  v.Field("Stave", o.Stave);
  v.Field("Measure", o.Measure);
}

template <typename O, typename V>
void VisitWord(O& o, V& v) {
  VisitStaveObject(o, v);
  v.Field("X", o.X);
  v.Field("Y", o.Y);
}

template <typename O, typename V>
void VisitMark(O& o, V& v) {
  VisitWord(o, v);
  v.Field("Note", o.Note);
}

template <typename O, typename V>
void VisitBeam(O& o, V& v) {
  VisitMark(o, v);
  v.Field("X1", o.X1);
  v.Field("Y1", o.Y1);
}

template <typename O, typename V>
void VisitSlur(O& o, V& v) {
  VisitMark(o, v);
  v.Field("X1", o.X1);
  v.Field("Y1", o.Y1);
  v.Field("X2", o.X2);
  v.Field("Y2", o.Y2);
}

template <typename O, typename V>
void VisitNote(O& o, V& v) {
  VisitWord(o, v);
  v.Field("Key", o.Key);
  v.Field("dy", o.dy);
  v.Field("Head", o.Head);
  v.Field("Channel", o.Channel);
  v.Field("Chord", o.Chord);
  v.Field("PlayStart", o.PlayStart);
  v.Field("PlayTicks", o.PlayTicks);
  v.Field("Start", o.Start);
  v.Field("Ticks", o.Ticks);
  v.Field("Tie", o.Tie);
  v.Field("Stem", o.Stem);
  v.Field("Tail", o.Tail);
  v.Field("Velocity", o.Velocity);
  v.Field("Voice", o.Voice);
}

template <typename O, typename V>
void VisitEnding(O& o, V& v) {
  VisitStaveObject(o, v);
  v.Field("EndMeasure", o.EndMeasure);
  v.Field("StartMeasure", o.StartMeasure);
}

template <typename O, typename V>
void VisitText(O& o, V& v) {
  VisitStaveObject(o, v);
  v.Field("Font", o.Font);
  v.Field("text", o.text);
}

template <typename O, typename V>
void VisitAngleText(O& o, V& v) {
  VisitText(o, v);
  v.Field("Escapement", o.Escapement);
  v.Field("Orientation", o.Orientation);
}

template <typename O, typename V>
void VisitVisualMidi(O& o, V& v) {
  VisitText(o, v);
  v.Field("Start", o.Start);
}

template <typename O, typename V>
void VisitLink(O& o, V& v) {
  VisitStaveObject(o, v);
  v.Field("href", o.href);
  v.Field("Font", o.Font);
  v.Field("text", o.text);
}

template <typename O, typename V>
void VisitImage(O& o, V& v) {
  VisitStaveObject(o, v);
  v.Field("href", o.href);
  v.Field("source", o.source);
  v.Field("title", o.title);
}

template <typename O, typename V>
void VisitLine(O& o, V& v) {
  VisitStaveObject(o, v);
  v.Field("Pen", o.Pen);
  v.Field("X", o.X);
  v.Field("Y", o.Y);
  v.Field("X1", o.X1);
  v.Field("Y1", o.Y1);
}

template <typename O, typename V>
void VisitStave(O& o, V& v) {
  VisitObject(o, v);
  v.Field("Channel", o.Channel);
  v.Field("LineSpace", o.LineSpace);
  v.Field("Patch", o.Patch);
  v.Field("Staff", o.Staff);
  v.Field("Voice", o.Voice);
}

template <typename O, typename V>
void VisitStaff(O& o, V& v) {
  VisitObject(o, v);
  v.Field("Start", o.Start);
  v.Field("Ticks", o.Ticks);
  v.Field("Spacing", o.Spacing);
}

template <typename O, typename V>
void VisitMeasure(O& o, V& v) {
  VisitObject(o, v);
  v.Field("Denominator", o.Denominator);
  v.Field("Numerator", o.Numerator);
  v.Field("Staff", o.Staff);
  v.Field("Start", o.Start);
  v.Field("Tempo", o.Tempo);
  v.Field("Ticks", o.Ticks);
  v.Field("LeftMargin", o.LeftMargin);
  v.Field("RightMargin", o.RightMargin);
  v.Field("LeftPadding", o.LeftPadding);
  v.Field("RightPadding", o.RightPadding);
}

// T with the constness of Base, so one visitor serves export (const) and
// import (mutable).
template <typename T, typename Base>
using Like = std::conditional_t<std::is_const_v<Base>, const T, T>;

template <typename T, typename Base>
Like<T, Base>& Down(Base& o) {
  return static_cast<Like<T, Base>&>(o);
}

// Visits the fields of the object's class. Returns false for kinds without a
// text form (graphics, combinations and anything the factory cannot make).
template <typename O, typename V>
bool VisitAny(O& o, V& v) {
  switch (o.GetKind()) {
    case Kind::Object: VisitObject(o, v); return true;
    case Kind::Sign: VisitWord(Down<CSign>(o), v); return true;
    case Kind::Mark: VisitMark(Down<CMark>(o), v); return true;
    case Kind::Beam: VisitBeam(Down<CBeam>(o), v); return true;
    case Kind::Slur: VisitSlur(Down<CSlurLine>(o), v); return true;
    case Kind::Note: VisitNote(Down<CNote>(o), v); return true;
    case Kind::Rest: VisitNote(Down<CRest>(o), v); return true;
    case Kind::OctaveLine: VisitStaveObject(Down<COctaveLine>(o), v); return true;
    case Kind::Bracket: VisitStaveObject(Down<CBracket>(o), v); return true;
    case Kind::Ending: VisitEnding(Down<CEnding>(o), v); return true;
    case Kind::Text: VisitText(Down<CXText>(o), v); return true;
    case Kind::AngleText: VisitAngleText(Down<CAngleText>(o), v); return true;
    case Kind::VisualMidi: VisitVisualMidi(Down<CVisualMidi>(o), v); return true;
    case Kind::Link: VisitLink(Down<CXLink>(o), v); return true;
    case Kind::Image: VisitImage(Down<CXImage>(o), v); return true;
    case Kind::Line: VisitLine(Down<CXLine>(o), v); return true;
    case Kind::Stave: VisitStave(Down<CStave>(o), v); return true;
    case Kind::Staff: VisitStaff(Down<CStaff>(o), v); return true;
    case Kind::Measure: VisitMeasure(Down<CMeasure>(o), v); return true;
    default: return false;
  }
}

bool HasTextForm(char kind) {
  switch (kind) {
    case Kind::Object: case Kind::Sign: case Kind::Mark: case Kind::Beam: case Kind::Slur:
    case Kind::Note: case Kind::Rest: case Kind::OctaveLine: case Kind::Bracket: case Kind::Ending:
    case Kind::Text: case Kind::AngleText: case Kind::VisualMidi: case Kind::Link: case Kind::Image:
    case Kind::Line: case Kind::Stave: case Kind::Staff: case Kind::Measure:
      return true;
    default:
      return false;
  }
}

bool Contains(std::string_view name, std::string_view part) { return name.find(part) != std::string_view::npos; }

// Gathers the keys a class writes, for telling a complete section from one
// the text ends inside.
class KeyCollector {
 public:
  template <typename T>
  void Field(std::string_view key, const T&) { Keys.emplace_back(key); }
  void Byte(std::string_view key, uint8_t) { Keys.emplace_back(key); }
  void Face(std::string_view key, const LogFont&) { Keys.emplace_back(key); }
  std::vector<std::string> Keys;
};

std::vector<std::string> KeysOfSection(std::string_view name, const IniFile::Section& section) {
  KeyCollector keys;
  if (name == "Score") {
    const CScore score;
    VisitSettings(score, keys);
  } else if (Contains(name, "Object")) {
    const std::unique_ptr<CXObject> made = CreateObject(static_cast<char>(Reader(&section).Int("Kind") & 0xFF));
    if (made && HasTextForm(made->GetKind())) {
      const CXObject& o = *made;
      VisitAny(o, keys);
    }
  } else if (Contains(name, "Layer")) {
    const CLayer layer{};
    VisitLayer(layer, keys);
  } else if (Contains(name, "Pen")) {
    const LogPen pen{};
    VisitPen(pen, keys);
  } else if (Contains(name, "Font")) {
    const LogFont font{};
    VisitFont(font, keys);
  }
  return keys.Keys;
}

std::string JoinNumbers(const std::vector<int32_t>& numbers) {
  std::string out;
  for (size_t i = 0; i < numbers.size() && i < 8; ++i) out += (i ? ", " : "") + std::to_string(numbers[i]);
  if (numbers.size() > 8) out += " and " + std::to_string(numbers.size() - 8) + " more";
  return out;
}

}  // namespace

ScoreTextCheck CheckScoreText(const IniFile& doc, std::string_view text) {
  ScoreTextCheck check;
  // Settings a score cannot hold.
  if (const IniFile::Section* settings = doc.FindSection("Score")) {
    const Reader r(settings);
    const int timeBase = r.Int("TimeBase");
    if (timeBase < 1 || timeBase > 0x7FFF)
      check.Invalid.push_back("TimeBase=" + std::to_string(timeBase) + " (ticks per quarter note must be 1 to 32767)");
    const int numerator = r.Int("Numerator");
    if (numerator < 1 || numerator > 255)
      check.Invalid.push_back("Numerator=" + std::to_string(numerator) + " (beats per measure must be 1 to 255)");
    const int denominator = r.Int("Denominator");
    if (denominator < 1 || denominator > 128 || (denominator & (denominator - 1)) != 0)
      check.Invalid.push_back("Denominator=" + std::to_string(denominator) + " (the beat must be 1, 2, 4 ... 128)");
    const int tempo = r.Int("Tempo");
    if (tempo < 1) check.Invalid.push_back("Tempo=" + std::to_string(tempo) + " (the tempo must be above 0)");
  }

  // A text cut short ends inside a line or inside a section: the writer ends
  // every line and writes every key of a section.
  if (!text.empty() && text.back() != '\n' && text.back() != '\r')
    check.Missing.push_back("the text ends inside a line");
  if (!doc.Sections().empty()) {
    const IniFile::Section& last = doc.Sections().back();
    std::vector<std::string> absent;
    for (const std::string& key : KeysOfSection(last.Name(), last))
      if (!last.Find(key)) absent.push_back(key);
    if (!absent.empty()) {
      std::string keys;
      for (size_t i = 0; i < absent.size() && i < 6; ++i) keys += (i ? ", " : "") + absent[i];
      if (absent.size() > 6) keys += " ...";
      check.Missing.push_back("the text ends inside section [" + last.Name() + "] (no " + keys + ")");
    }
  }

  // Objects that others name but the text does not hold, and Numbers the
  // counter shows were handed out beyond the last one read.
  std::unordered_set<int32_t> numbers;
  int64_t highest = 0;
  for (const IniFile::Section& section : doc.Sections()) {
    if (!Contains(section.Name(), "Object")) continue;
    const Reader r(&section);
    const int32_t number = r.Int("Number");
    numbers.insert(number);
    highest = std::max<int64_t>(highest, number);
  }
  std::vector<int32_t> dangling;
  for (const IniFile::Section& section : doc.Sections()) {
    if (!Contains(section.Name(), "Object")) continue;
    const Reader r(&section);
    const char kind = static_cast<char>(r.Int("Kind") & 0xFF);
    std::vector<int32_t> named;
    if (kind == Kind::Stave || kind == Kind::Measure) named.push_back(r.Int("Staff"));
    const std::unique_ptr<CXObject> made = CreateObject(kind);
    if (made && As<CStaveObject>(made.get())) {
      named.push_back(r.Int("Stave"));
      named.push_back(r.Int("Measure"));
    }
    for (int32_t n : named)
      if (n > 0 && !numbers.count(n) && dangling.size() < 1000 &&
          std::find(dangling.begin(), dangling.end(), n) == dangling.end())
        dangling.push_back(n);
  }
  if (!dangling.empty()) check.Missing.push_back("objects named by others are missing: " + JoinNumbers(dangling));
  if (const IniFile::Section* settings = doc.FindSection("Score")) {
    const int64_t upper = Reader(settings).Int("UpperNumber");
    if (numbers.empty() && upper > 1)
      check.Warnings.push_back("UpperNumber " + std::to_string(upper) + " but no objects: objects may be missing");
    else if (!numbers.empty() && upper - 1 > highest)
      check.Warnings.push_back("UpperNumber " + std::to_string(upper) + " is beyond the highest Number read (" +
                               std::to_string(highest) + "): objects " + std::to_string(highest + 1) + " to " +
                               std::to_string(upper - 1) + " may be missing");
  }
  return check;
}

void WriteScoreText(const CScore& score, IniFile& doc) {
  std::string text;
  // About 300 bytes per object section on the reference workload.
  text.reserve(4096 + score.ObjectCount() * 320);
  Writer w(text);

  w.Section("Score");
  w.Text("FileType", "Score");
  const uint32_t version = score.Version;
  w.Text("Version", qx::Format("%d.%d.%d.%d", int(version >> 24), int((version >> 16) & 0xFF),
                               int((version >> 8) & 0xFF), int(version & 0xFF)));
  VisitSettings(score, w);

  for (size_t i = 0; i < score.Layers.size(); ++i) {
    w.Section("Layer", static_cast<int32_t>(i));
    VisitLayer(score.Layers[i], w);
  }
  for (size_t i = 0; i < score.Pens.size(); ++i) {
    w.Section("Pen", static_cast<int32_t>(i));
    VisitPen(score.Pens[i], w);
  }
  for (size_t i = 0; i < score.Fonts.size(); ++i) {
    w.Section("Font", static_cast<int32_t>(i));
    VisitFont(score.Fonts[i], w);
  }

  for (const auto& up : score.Objects()) {
    const CXObject& o = *up;
    const char kind = o.GetKind();
    if (!HasTextForm(kind)) continue;
    w.Section("Object", o.Number);
    w.Int("Kind", static_cast<unsigned char>(kind));
    w.Text("KindName", KindName(static_cast<unsigned char>(kind)));
    VisitAny(o, w);
  }

  doc.LoadFromText(text);
}

void ReadScoreText(const IniFile& doc, CScore& score) {
  score.Clear();
  {
    Reader settings(doc.FindSection("Score"));
    VisitSettings(score, settings);
  }

  // Each table takes every section whose name contains its word, in
  // document order. The checks are independent: a section named, say,
  // "FontLayer" counts as a layer and as a font.
  bool numbered = false;
  int32_t highestNumber = INT32_MIN;
  for (const IniFile::Section& section : doc.Sections()) {
    const std::string_view name = section.Name();
    const Reader r(&section);
    if (Contains(name, "Layer")) {
      CLayer layer;
      VisitLayer(layer, r);
      score.Layers.push_back(layer);
    }
    if (Contains(name, "Pen")) {
      LogPen pen;
      VisitPen(pen, r);
      score.Pens.push_back(pen);
    }
    if (Contains(name, "Font")) {
      LogFont font;  // every field the document does not carry stays 0
      VisitFont(font, r);
      score.Fonts.push_back(font);
    }
    if (Contains(name, "Object")) {
      const char kind = static_cast<char>(r.Int("Kind") & 0xFF);
      if (!HasTextForm(kind)) continue;
      std::unique_ptr<CXObject> made = CreateObject(kind);
      if (!made) continue;
      CXObject* o = made.get();
      score.AddObject(std::move(made));  // advances UpperNumber
      VisitAny(*o, r);                   // Number included
      score.InvalidateNumberIndex();
      numbered = true;
      if (o->Number > highestNumber) highestNumber = o->Number;
    }
  }

  // A document whose UpperNumber is not above its objects' Numbers (one
  // written by hand, or without the key) would have the next inserted
  // object reuse a Number, and references by Number would then name two
  // objects.
  if (numbered && highestNumber >= score.UpperNumber && highestNumber < INT32_MAX)
    score.UpperNumber = highestNumber + 1;
  score.RecountSelection();
}
