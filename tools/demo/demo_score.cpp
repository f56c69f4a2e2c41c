#include "tools/demo/demo_score.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "common/gbk.h"
#include "editing/chords.h"
#include "editing/edit_util.h"
#include "editing/insert.h"
#include "editing/note_commands.h"
#include "editing/note_ops.h"
#include "editing/recorder.h"
#include "editing/tie_arcs.h"
#include "model/derived.h"
#include "model/score.h"

namespace {

// --- reading ---------------------------------------------------------------------

bool Fail(std::string* error, int line, const std::string& reason) {
  if (error) *error = (line > 0 ? "line " + std::to_string(line) + ": " : std::string()) + reason;
  return false;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// Key signatures by tonic; minor keys end in "m".
bool SharpsOfKey(const std::string& name, int& sharps) {
  static const std::map<std::string, int> kKeys = {
      {"C", 0},   {"G", 1},    {"D", 2},    {"A", 3},    {"E", 4},    {"B", 5},    {"F#", 6},  {"C#", 7},
      {"F", -1},  {"Bb", -2},  {"Eb", -3},  {"Ab", -4},  {"Db", -5},  {"Gb", -6},  {"Cb", -7}, {"Am", 0},
      {"Em", 1},  {"Bm", 2},   {"F#m", 3},  {"C#m", 4},  {"G#m", 5},  {"D#m", 6},  {"A#m", 7}, {"Dm", -1},
      {"Gm", -2}, {"Cm", -3},  {"Fm", -4},  {"Bbm", -5}, {"Ebm", -6}, {"Abm", -7}};
  auto it = kKeys.find(name);
  if (it == kKeys.end()) return false;
  sharps = it->second;
  return true;
}

// Semitones of the naturals above C, by letter (c 0 .. b 6).
constexpr int kNaturalSemitones[7] = {0, 2, 4, 5, 7, 9, 11};

int NaturalKey(int step) { return 12 * (step / 7 + 1) + kNaturalSemitones[step % 7]; }

// "c4" is middle C (key 60); '#' raises and 'b' lowers by a semitone.
bool ParsePitch(const std::string& s, int& key, int& step) {
  static const int kLetter[7] = {5, 6, 0, 1, 2, 3, 4};  // a b c d e f g
  if (s.size() < 2 || s[0] < 'a' || s[0] > 'g') return false;
  const int letter = kLetter[s[0] - 'a'];
  int k = kNaturalSemitones[letter];
  size_t i = 1;
  for (; i < s.size() && (s[i] == '#' || s[i] == 'b'); ++i) k += s[i] == '#' ? 1 : -1;
  if (i > 3 || i >= s.size() || i + 1 < s.size() || s[i] < '0' || s[i] > '8') return false;
  key = 12 * (s[i] - '0' + 1) + k;
  step = 7 * (s[i] - '0') + letter;
  return key >= 12 && key <= 120;
}

// One note, chord or rest: PITCH or <PITCH PITCH ...> or r, then /N with
// dots, then ~. Without /N the duration of the stave's previous note holds.
bool ParseNote(const std::string& token, DemoNote& note, int& code, int& dots, std::string& why) {
  std::string head = token;
  note.Tie = !head.empty() && head.back() == '~';
  if (note.Tie) head.pop_back();
  if (const size_t slash = head.rfind('/'); slash != std::string::npos && (head[0] != '<' || slash > head.rfind('>'))) {
    std::string value = head.substr(slash + 1);
    head.erase(slash);
    dots = 0;
    while (!value.empty() && value.back() == '.') {
      ++dots;
      value.pop_back();
    }
    static const std::map<std::string, int> kCodes = {{"1", 1}, {"2", 2}, {"4", 3}, {"8", 4}, {"16", 5}, {"32", 6}};
    auto it = kCodes.find(value);
    if (it == kCodes.end() || dots > 2 || (dots > 0 && it->second == 6)) {
      why = "bad duration /" + token.substr(slash + 1);
      return false;
    }
    code = it->second;
  }
  note.Code = code;
  note.Dots = dots;
  const int plain = kDemoTimeBase * 8 >> code;
  note.Ticks = dots == 0 ? plain : dots == 1 ? plain * 3 / 2 : plain * 7 / 4;
  if (head == "r") {
    if (note.Tie) {
      why = "a rest cannot be tied";
      return false;
    }
    return true;
  }
  std::vector<std::string> pitches;
  if (head.size() > 2 && head.front() == '<' && head.back() == '>') {
    std::istringstream in(head.substr(1, head.size() - 2));
    for (std::string p; in >> p;) pitches.push_back(p);
  } else {
    pitches.push_back(head);
  }
  std::vector<std::pair<int, int>> spelled;  // key, step
  for (const std::string& p : pitches) {
    int key = 0, step = 0;
    if (!ParsePitch(p, key, step)) {
      why = "bad pitch '" + p + "'";
      return false;
    }
    spelled.emplace_back(key, step);
  }
  std::sort(spelled.begin(), spelled.end());
  for (auto [key, step] : spelled) {
    if (!note.Keys.empty() && (note.Keys.back() == key || note.Steps.back() == step)) {
      why = "a chord holds a pitch or a letter twice";
      return false;
    }
    note.Keys.push_back(key);
    note.Steps.push_back(step);
  }
  return true;
}

// Splits a stave line into tokens; a chord's <...> is one token.
std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  bool inChord = false;
  for (char c : text) {
    if (c == '<') inChord = true;
    if (c == '>') inChord = false;
    if ((c == ' ' || c == '\t') && !inChord) {
      if (!current.empty()) out.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) out.push_back(current);
  return out;
}

int MeasureTicksOf(const DemoPiece& p) { return kDemoTimeBase * 4 * p.Numerator / p.Denominator; }

}  // namespace

bool ParseDemo(const std::string& text, DemoPiece& piece, std::string* error) {
  piece = DemoPiece{};
  std::istringstream in(text);
  std::string raw;
  int line = 0;
  DemoMeasure* measure = nullptr;
  std::array<int, 2> code{3, 3}, dots{0, 0};
  std::array<std::string, 2> pendingDynamic;
  bool timeSeen = false;
  while (std::getline(in, raw)) {
    ++line;
    if (const size_t hash = raw.find('#'); hash != std::string::npos && (hash == 0 || raw[hash - 1] == ' ' || raw[hash - 1] == '\t'))
      raw.erase(hash);
    const std::string body = Trim(raw);
    if (body.empty()) continue;
    const size_t space = body.find_first_of(" \t");
    const std::string word = body.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : Trim(body.substr(space));
    if (word == "measure") {
      std::istringstream words(rest);
      int number = 0;
      std::string bar;
      if (!(words >> number) || number != int(piece.Measures.size()) + 1)
        return Fail(error, line, "measures are numbered 1, 2, 3 ... in order");
      piece.Measures.push_back({});
      measure = &piece.Measures.back();
      measure->Number = number;
      measure->Line = line;
      if (words >> bar) {
        static const std::map<std::string, int> kBars = {{"|", 0}, {"||", 5}, {"|.", 9}, {":|", 41}, {"|:", 166}};
        auto it = kBars.find(bar);
        if (it == kBars.end()) return Fail(error, line, "unknown bar line '" + bar + "'");
        measure->BarLine = it->second;
      }
      continue;
    }
    if (word == "upper" || word == "lower") {
      if (!measure) return Fail(error, line, "notes before the first 'measure' line");
      const int s = word == "upper" ? 0 : 1;
      for (const std::string& token : Tokens(rest)) {
        if (token[0] == '\\') {
          static const std::set<std::string> kDynamics = {"ppp", "pp", "p", "mp", "mf", "f", "ff", "fff"};
          if (!kDynamics.count(token.substr(1))) return Fail(error, line, "unknown dynamic '" + token + "'");
          pendingDynamic[size_t(s)] = token.substr(1);
          continue;
        }
        DemoNote note;
        note.Line = line;
        std::string why;
        if (token == "R") {
          // A whole-measure rest.
          note.Code = 1;
          note.Ticks = MeasureTicksOf(piece);
        } else if (!ParseNote(token, note, code[size_t(s)], dots[size_t(s)], why)) {
          return Fail(error, line, why);
        }
        note.Dynamic = std::move(pendingDynamic[size_t(s)]);
        pendingDynamic[size_t(s)].clear();
        measure->Staves[size_t(s)].push_back(std::move(note));
      }
      continue;
    }
    if (measure) return Fail(error, line, "'" + word + "' belongs in the header, before the first measure");
    if (word == "title") piece.Title = rest;
    else if (word == "subtitle") piece.Subtitle = rest;
    else if (word == "composer") piece.Composer = rest;
    else if (word == "key") {
      if (!SharpsOfKey(rest, piece.Sharps)) return Fail(error, line, "unknown key '" + rest + "'");
    } else if (word == "time") {
      int n = 0, d = 0;
      char slash = 0;
      std::istringstream t(rest);
      if (!(t >> n >> slash >> d) || slash != '/' || n < 1 || n > 12 || (d != 2 && d != 4 && d != 8))
        return Fail(error, line, "time is N/2, N/4 or N/8");
      piece.Numerator = n;
      piece.Denominator = d;
      timeSeen = true;
    } else if (word == "tempo") {
      std::istringstream t(rest);
      for (std::string w; t >> w;) {
        if (std::isdigit(static_cast<unsigned char>(w[0]))) {
          piece.Bpm = std::atoi(w.c_str());
          if (piece.Bpm < 20 || piece.Bpm > 300) return Fail(error, line, "tempo is 20 to 300 quarters a minute");
        } else {
          piece.TempoWord = w;
        }
      }
    } else if (word == "systems") {
      piece.MeasuresPerSystem = std::atoi(rest.c_str());
      if (piece.MeasuresPerSystem < 1 || piece.MeasuresPerSystem > 8)
        return Fail(error, line, "systems is 1 to 8 measures per system");
    } else {
      return Fail(error, line, "unknown line '" + word + "'");
    }
  }
  if (!timeSeen) return Fail(error, 0, "no 'time' line");
  if (piece.Measures.empty()) return Fail(error, 0, "no measures");
  // Every stave fills its measure exactly; ties join equal pitches.
  const int full = MeasureTicksOf(piece);
  const DemoNote* tiedFrom[2] = {nullptr, nullptr};
  for (const DemoMeasure& m : piece.Measures)
    for (size_t s = 0; s < 2; ++s) {
      int sum = 0;
      for (const DemoNote& n : m.Staves[s]) {
        if (tiedFrom[s] && n.Keys != tiedFrom[s]->Keys)
          return Fail(error, n.Line, "a tie joins notes of the same pitches");
        tiedFrom[s] = n.Tie ? &n : nullptr;
        sum += n.Ticks;
      }
      if (sum != full)
        return Fail(error, m.Staves[s].empty() ? m.Line : m.Staves[s].front().Line,
                    std::string("measure ") + std::to_string(m.Number) + ", " + (s ? "lower" : "upper") + " stave: " +
                        std::to_string(sum) + " ticks written, the measure holds " + std::to_string(full));
    }
  for (const DemoNote* t : tiedFrom)
    if (t) return Fail(error, t->Line, "the last note is tied to nothing");
  return true;
}

std::vector<DemoOnset> DemoOnsets(const DemoPiece& piece) {
  std::vector<DemoOnset> out;
  const int full = MeasureTicksOf(piece);
  for (size_t s = 0; s < 2; ++s) {
    std::map<int, size_t> sounding;  // key -> index in out, while tied
    int tick = 0;
    for (const DemoMeasure& m : piece.Measures) {
      for (const DemoNote& n : m.Staves[s]) {
        std::map<int, size_t> next;
        for (int key : n.Keys) {
          auto it = sounding.find(key);
          size_t at = 0;
          if (it != sounding.end()) {
            at = it->second;
            out[at].Ticks += n.Ticks;
          } else {
            at = out.size();
            out.push_back({tick, key, n.Ticks});
          }
          if (n.Tie) next[key] = at;
        }
        sounding = std::move(next);
        tick += n.Ticks;
      }
      tick = (tick + full - 1) / full * full;
    }
  }
  std::sort(out.begin(), out.end(), [](const DemoOnset& a, const DemoOnset& b) {
    return a.Tick != b.Tick ? a.Tick < b.Tick : a.Key < b.Key;
  });
  return out;
}

// --- building ----------------------------------------------------------------------

namespace {

using editing::Attach;

// Page geometry: the proportions of A4 on the score's 600-unit page.
constexpr int kPaperHeight = 848;
constexpr int kBottomMargin = 40;
constexpr int kGrandStaffGap = 56;  // between the treble and the bass stave
constexpr int kSystemGap = 28;      // the least room between systems
constexpr int kBarLineRoom = 10;    // from a bar line to the first note

// Fonts the demo adds to the score's table.
enum DemoFont { kTitleFont = 8, kSubtitleFont, kDynamicFont, kTempoFont };

void AddFonts(CScore& score) {
  score.Fonts.resize(kTitleFont);
  LogFont title = LogFont::PointFont(240, "\xCB\xCE\xCC\xE5");  // the Song face, in GBK
  title.Weight = 700;
  LogFont subtitle = LogFont::PointFont(115, "Times New Roman");
  LogFont dynamic = LogFont::PointFont(140, "Times New Roman");
  dynamic.Weight = 700;
  dynamic.Italic = 1;
  LogFont tempo = LogFont::PointFont(125, "Times New Roman");
  tempo.Weight = 700;
  score.Fonts.insert(score.Fonts.end(), {title, subtitle, dynamic, tempo});
}

// A rough width of a UTF-8 text in a font of `pixels` em: wide characters an
// em, the rest about half. Texts are drawn left-aligned in their box, so the
// estimate only centres or right-aligns them.
int TextWidth(const std::string& utf8, int pixels) {
  double w = 0;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    w += len >= 3 ? pixels : (c >= 'A' && c <= 'Z') ? pixels * 0.68 : pixels * 0.5;
    i += size_t(len);
  }
  return int(w) + 2;
}

CXText* AddText(CScore& score, CStave* stave, CMeasure* measure, const std::string& utf8, int font, int left, int top,
                int width) {
  auto text = std::make_unique<CXText>();
  if (!qx::Utf8ToGbk(utf8, text->text)) text->text = utf8;
  text->Font = static_cast<int8_t>(font);
  const int pixels = std::abs(score.Fonts[size_t(font)].Height);
  text->SetBounds(left, top, left + width, top + pixels * 3 / 2);
  return Attach(score, stave, measure, std::move(text));
}

// Measures as wide as their content needs, widened in proportion to fill the system.
void SpaceSystem(CScore& score, const std::vector<CMeasure*>& measures, const std::array<CStave*, 2>& staves) {
  if (measures.empty()) return;
  CStaff* system = measures.front()->OwnerStaff;
  std::vector<double> need;
  int padding = 0;
  for (CMeasure* m : measures) {
    m->LeftMargin = kBarLineRoom;
    ComputeLeftPadding(*m);
    padding += m->LeftPadding + m->RightPadding;
    std::set<int> onsets{m->Ticks};
    std::set<int> dotted, accidental;  // onsets
    for (CStave* s : staves)
      for (CStaveObject* o : s->Attached)
        if (auto* n = As<CNote>(o); n && n->OwnerMeasure == m) {
          onsets.insert(n->Start - m->Start);
          if (n->Style & (NTS_DOTTED | NTS_DOUBLE_DOTTED)) dotted.insert(n->Start - m->Start);
        } else if (o->KindCode() == Kind::Mark && o->OwnerMeasure == m) {
          // An accidental before its head (the recorder's marks: flat, sharp, natural).
          auto* mark = static_cast<CMark*>(o);
          if (mark->Value >= 1 && mark->Value <= 3)
            if (auto* head = As<CNote>(mark->NoteLink)) accidental.insert(head->Start - m->Start);
        }
    need.push_back(MeasureContentWidth(kDemoTimeBase, m->Ticks, std::vector<int>(onsets.begin(), onsets.end()),
                                       std::vector<int>(dotted.begin(), dotted.end()),
                                       std::vector<int>(accidental.begin(), accidental.end())));
  }
  double total = 0;
  for (double n : need) total += n;
  const double area = double(system->Right - system->Left - padding);
  int x = system->Left;
  for (size_t i = 0; i < measures.size(); ++i) {
    CMeasure* m = measures[i];
    const int width = m->LeftPadding + m->RightPadding + int(std::lround(need[i] * area / total));
    m->Left = x;
    m->Right = i + 1 == measures.size() ? system->Right : x + width;
    x = m->Right;
    ComputeUnitsPerTick(*m);
  }
  for (CStave* s : staves) RespaceStave(score, *s);
}

// Stacks the systems on pages of the score's paper: each whole on one page,
// the pages filled from the top margin, and a full page's leftover room
// shared out between its systems.
void LayOutPages(CScore& score) {
  struct Extent {
    CStaff* System;
    int Top, Bottom;
  };
  std::vector<Extent> extents;
  for (CStaff* system : score.Staffs) {
    Extent e{system, system->Top, system->Bottom};
    for (CStave* s : system->Staves) {
      e.Top = std::min(e.Top, s->Top);
      e.Bottom = std::max(e.Bottom, s->Top + 4 * s->LineSpace);
      for (CStaveObject* o : s->Attached) {
        e.Top = std::min(e.Top, o->Top);
        e.Bottom = std::max(e.Bottom, o->Bottom);
      }
    }
    extents.push_back(e);
  }
  const int pageHeight = score.PaperHeight;
  std::vector<std::vector<size_t>> pages(1);
  int cursor = score.TopMargin;
  std::vector<int> tops(extents.size());
  for (size_t i = 0; i < extents.size(); ++i) {
    const int height = extents[i].Bottom - extents[i].Top;
    const int page = int(pages.size()) - 1;
    if (!pages.back().empty() && cursor + height > (page + 1) * pageHeight - kBottomMargin) {
      pages.emplace_back();
      cursor = int(pages.size() - 1) * pageHeight + score.TopMargin;
    }
    pages.back().push_back(i);
    tops[i] = cursor;
    cursor += height + kSystemGap;
  }
  for (size_t p = 0; p < pages.size(); ++p) {
    const std::vector<size_t>& on = pages[p];
    const size_t last = on.back();
    const int leftover = (int(p) + 1) * pageHeight - kBottomMargin - (tops[last] + extents[last].Bottom - extents[last].Top);
    // Only a page that is nearly full is spread out; a short last page keeps its gaps.
    const int share = on.size() > 1 && leftover < pageHeight / 3 ? leftover / int(on.size() - 1) : 0;
    for (size_t k = 0; k < on.size(); ++k) {
      const Extent& e = extents[on[k]];
      const int top = tops[on[k]] + int(k) * share;
      e.System->MoveTo(e.System->Left, e.System->Top + top - e.Top);
    }
  }
}

// Rests are written as the source has them; the recorder's own rests only
// fill gaps, and there are none.
CRest* MakeRest(CRecorder& r, int voice, int64_t tick, int code, int ticks) {
  CScore& score = *r.Score;
  const RecorderMeter& meter = r.Meters.back();
  const size_t index = size_t((tick - meter.Start) / meter.Ticks);
  CMeasure* m = r.Measures[index];
  CStave* stave = r.SystemStaves[index / size_t(r.MeasuresPerLine)][size_t(voice)];
  auto rest = std::make_unique<CRest>();
  rest->Layer = score.Layer;
  rest->Voice = static_cast<int8_t>(voice);
  rest->Channel = stave->Channel;
  rest->Value = code;
  rest->Head = static_cast<int8_t>(code);
  rest->Ticks = ticks;
  rest->Start = static_cast<int32_t>(tick);
  // A whole-measure rest keeps following its measure's length.
  rest->Style = NTS_UPDATE_TICKS | NTS_UPDATE_PLAYTICKS;
  const int x = TickToX(*m, static_cast<int32_t>(tick));
  rest->PlaceAt(x, stave->Top + 2 * score.LineSpace);
  rest->dy = rest->Y - stave->Top;
  return Attach(score, stave, m, std::move(rest));
}

// The alteration the key signature gives a letter (step % 7: c 0 .. b 6).
int KeyAlteration(int sharps, int step) {
  static const int kSharpLetters[7] = {3, 0, 4, 1, 5, 2, 6};  // F C G D A E B
  static const int kFlatLetters[7] = {6, 2, 5, 1, 4, 0, 3};   // B E A D G C F
  for (int i = 0; i < std::abs(sharps); ++i)
    if ((sharps > 0 ? kSharpLetters : kFlatLetters)[i] == step % 7) return sharps > 0 ? 1 : -1;
  return 0;
}

// The heads stand where the source spells them (the recorder spells black
// keys by the key signature alone) and carry the accidentals that spelling
// needs against the key signature and the earlier accidentals of their
// measure and stave; a note tied over restates none.
void SpellAsWritten(CScore& score, const DemoPiece& piece, const std::map<const DemoNote*, std::vector<CNote*>>& made) {
  for (const auto& up : score.Objects())
    if (auto* m = As<CMark>(up.get()); m && m->KindCode() == Kind::Mark && m->Value >= 1 && m->Value <= 3 &&
                                       As<CNote>(m->NoteLink))
      CScore::MarkForRemoval(m);
  score.RemoveMarkedObjects();
  static const int kMarkOf[5] = {7, 1, 3, 2, 8};  // alteration -2 .. 2
  for (int s = 0; s < 2; ++s) {
    const int topLine = s == 0 ? 38 : 26;  // F5 on the treble stave, A3 on the bass stave
    const DemoNote* previous = nullptr;
    for (const DemoMeasure& m : piece.Measures) {
      std::map<int, int> inForce;  // step -> alteration
      for (const DemoNote& n : m.Staves[size_t(s)]) {
        auto found = made.find(&n);
        if (found != made.end())
          for (size_t k = 0; k < found->second.size() && k < n.Keys.size(); ++k) {
            CNote* c = found->second[k];
            CStave* stave = c->OwnerStave;
            const int step = n.Steps[k];
            const int y = stave->Top + 4 * (topLine - step);
            if (c->Y != y) {
              c->PlaceAt(c->Left, y);
              c->dy = c->Y - stave->Top;
              c->Stem = static_cast<int8_t>(editing::StemFor(c->DurationCode(), c->dy));
            }
            const int alteration = n.Keys[k] - NaturalKey(step);
            auto it = inForce.find(step);
            const int before = it != inForce.end() ? it->second : KeyAlteration(piece.Sharps, step);
            const bool tiedOver = previous && previous->Tie &&
                                  std::find(previous->Keys.begin(), previous->Keys.end(), n.Keys[k]) != previous->Keys.end();
            if (alteration != before && !tiedOver && alteration >= -2 && alteration <= 2) {
              auto mark = std::make_unique<CMark>();
              mark->Value = kMarkOf[alteration + 2];
              mark->Layer = score.Layer;
              mark->PlaceAt(c->Left - 6, c->Y);
              mark->Note = c->Number;
              mark->NoteLink = c;
              Attach(score, stave, c->OwnerMeasure, std::move(mark));
            }
            inForce[step] = alteration;
          }
        previous = &n;
      }
    }
  }
}

void Select(CScore& score, const std::vector<CNote*>& notes) {
  for (const auto& up : score.Objects()) up->Selected = 0;
  for (CNote* n : notes) n->Selected = 1;
  score.RecountSelection();
}

}  // namespace

bool BuildDemoScore(const DemoPiece& piece, CScore& score, std::string* error) {
  PrepareImportScore(score);
  AddFonts(score);
  score.TimeBase = kDemoTimeBase;
  score.Numerator = static_cast<int8_t>(piece.Numerator);
  score.Denominator = static_cast<int8_t>(piece.Denominator);
  if (piece.Bpm > 0) score.Tempo = 60000000 / piece.Bpm;
  score.PaperHeight = kPaperHeight;
  score.StaveSpace = kGrandStaffGap;

  CRecorder r(score);
  r.MeasuresPerLine = piece.MeasuresPerSystem;
  r.VoiceSlots = 2;       // one voice a stave: notes struck together there make a chord
  r.QuantiseSetting = 6;  // the written times are exact
  ResetRecorder(r);
  EnsureLines(r, 1);
  RecordTimeSignature(r, 0, piece.Numerator, piece.Denominator);
  RecordKeySignature(r, 0, piece.Sharps);

  // Releases before rests before strikes at one tick, the upper stave first.
  struct Event {
    int64_t Tick;
    int Order;  // 0 release, 1 rest, 2 strike
    int Stave;
    const DemoNote* Note;
    int Key;
  };
  std::vector<Event> events;
  const int full = MeasureTicksOf(piece);
  const int64_t total = int64_t(full) * int64_t(piece.Measures.size());
  for (int s = 0; s < 2; ++s) {
    int64_t tick = 0;
    for (const DemoMeasure& m : piece.Measures)
      for (const DemoNote& n : m.Staves[size_t(s)]) {
        if (n.Keys.empty()) events.push_back({tick, 1, s, &n, 0});
        for (int key : n.Keys) {
          events.push_back({tick, 2, s, &n, key});
          events.push_back({tick + n.Ticks, 0, s, &n, key});
        }
        tick += n.Ticks;
      }
  }
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    return a.Tick != b.Tick ? a.Tick < b.Tick : a.Order < b.Order;
  });
  EnsureLines(r, total - 1);
  std::map<const DemoNote*, std::vector<CNote*>> made;
  for (const Event& e : events) {
    if (e.Order == 0) {
      RecordNoteOff(r, e.Tick, e.Key, e.Stave);
    } else if (e.Order == 1) {
      made[e.Note].push_back(MakeRest(r, e.Stave, e.Tick, e.Note->Code, e.Note->Ticks));
      r.Slots[size_t(e.Stave)].End = e.Tick + e.Note->Ticks;
    } else if (CNote* n = RecordNoteOn(r, e.Tick, 0x90 | e.Stave, e.Key)) {
      made[e.Note].push_back(n);
    }
  }
  if (r.Systems.size() * size_t(r.MeasuresPerLine) < piece.Measures.size())
    return Fail(error, 0, "the recorder made too few measures");

  // Systems are made whole: the measures past the piece's end go.
  for (size_t i = piece.Measures.size(); i < r.Measures.size(); ++i) CScore::MarkForRemoval(r.Measures[i]);
  r.Measures.resize(piece.Measures.size());

  // The recorder writes a dotted length as the plain value and tied pieces:
  // the pieces go and the note takes its dots.
  for (const auto& up : score.Objects())
    if (auto* n = As<CNote>(up.get()); n && n->Tie >= 0 && n->Tie != n->Number) CScore::MarkForRemoval(n);
  for (auto& [note, notes] : made)
    for (CNote* n : notes) n->Tie = -1;
  score.RemoveMarkedObjects();
  SpellAsWritten(score, piece, made);
  score.UpdateDerived();
  for (int dots = 1; dots <= 2; ++dots) {
    std::vector<CNote*> dotted;
    for (auto& [note, notes] : made)
      if (note->Dots == dots) dotted.insert(dotted.end(), notes.begin(), notes.end());
    if (dotted.empty()) continue;
    Select(score, dotted);
    SetNoteDots(score, dots);
  }
  for (auto& [note, notes] : made)
    if (notes.size() > 1) LayoutChord(score, notes);
  // A single note on the middle line takes its stem down, as engravers
  // write it (the editor's own rule puts it up); beamed values are left to
  // the beamer.
  std::vector<CNote*> middle;
  for (auto& [note, notes] : made)
    if (notes.size() == 1 && !note->Keys.empty() && note->Code <= 3 && notes[0]->dy == 2 * score.LineSpace &&
        notes[0]->Stem < 0)
      middle.push_back(notes[0]);
  if (!middle.empty()) {
    Select(score, middle);
    StemsDown(score);
  }
  score.UpdateDerived();

  // Measures as wide as their notes need, then beams by beat.
  for (size_t s = 0; s < r.Systems.size(); ++s) {
    const size_t first = s * size_t(r.MeasuresPerLine);
    std::vector<CMeasure*> measures(r.Measures.begin() + long(first),
                                    r.Measures.begin() + long(std::min(r.Measures.size(), first + size_t(r.MeasuresPerLine))));
    SpaceSystem(score, measures, r.SystemStaves[s]);
  }
  BeamRecordedNotes(r);
  // A whole-measure rest stands in the middle of its measure.
  for (auto& [note, notes] : made)
    if (note->Keys.empty() && note->Code == 1 && note->Ticks == full && !notes.empty()) {
      CNote* rest = notes.front();
      const CMeasure* m = rest->OwnerMeasure;
      const int middle = (m->Left + m->LeftPadding + m->Right - m->RightPadding) / 2;
      rest->PlaceAt(middle - (rest->Right - rest->Left) / 2, rest->Y);
    }

  // Ties: the playing chain, and an arc from head to head on the side away
  // from the stem (a chord's upper notes over it, its lower notes under it).
  for (int s = 0; s < 2; ++s) {
    const DemoNote* previous = nullptr;
    for (const DemoMeasure& m : piece.Measures)
      for (const DemoNote& n : m.Staves[size_t(s)]) {
        if (previous && previous->Tie) {
          const std::vector<CNote*>& from = made[previous];
          const std::vector<CNote*>& to = made[&n];
          std::vector<CNote*> both(from);
          both.insert(both.end(), to.begin(), to.end());
          Select(score, both);
          TieNotes(score);
          std::vector<std::pair<CNote*, CNote*>> pairs;
          for (size_t k = 0; k < from.size() && k < to.size(); ++k) pairs.emplace_back(from[k], to[k]);
          AddTieArcs(score, pairs);
        }
        previous = &n;
      }
  }
  Select(score, {});

  // Bar lines; the piece ends with a final bar unless the source says otherwise.
  for (size_t i = 0; i < piece.Measures.size(); ++i) r.Measures[i]->Value = piece.Measures[i].BarLine;
  if (piece.Measures.back().BarLine == 0) r.Measures[piece.Measures.size() - 1]->Value = 9;

  // Dynamics: under the upper stave's note, or under the lower stave.
  for (auto& [note, notes] : made) {
    if (note->Dynamic.empty() || notes.empty()) continue;
    CNote* n = notes.front();
    CStave* stave = n->OwnerStave;
    AddText(score, stave, n->OwnerMeasure, note->Dynamic, kDynamicFont, n->Left - 2, stave->Top + 4 * stave->LineSpace + 10,
            TextWidth(note->Dynamic, 19) + 8);
  }

  // Title, subtitle and composer above the first system, the tempo word over
  // its first measure. They are attached to its upper stave and move with it.
  CStave* top = r.SystemStaves.front()[0];
  CMeasure* first = r.Measures.front();
  const int pageLeft = score.LeftMargin, pageRight = score.PaperWidth - score.PageRightMargin;
  int y = top->Top - 30;
  if (!piece.TempoWord.empty()) AddText(score, top, first, piece.TempoWord, kTempoFont, first->Left, y, TextWidth(piece.TempoWord, 17) + 10);
  if (!piece.Composer.empty()) {
    const int w = TextWidth(piece.Composer, 15);
    y -= 22;
    AddText(score, top, first, piece.Composer, kSubtitleFont, pageRight - w, y, w + 4);
  }
  if (!piece.Subtitle.empty()) {
    const int w = TextWidth(piece.Subtitle, 15);
    y -= 20;
    AddText(score, top, first, piece.Subtitle, kSubtitleFont, (pageLeft + pageRight - w) / 2, y, w + 4);
  }
  if (!piece.Title.empty()) {
    const int w = TextWidth(piece.Title, 32);
    y -= 44;
    AddText(score, top, first, piece.Title, kTitleFont, (pageLeft + pageRight - w) / 2, y, w + 8);
  }

  score.UpdateDerived();
  LayOutPages(score);

  // Pitches follow the notes' places from here on, as for notes entered in
  // the editor, and the recalculation must read back every written pitch.
  // The recalculation reads accidentals from signs only; a stave's measure
  // with accidental marks (the recorder's, which keep the opening space
  // narrow) keeps its keys locked, as imported notes are.
  std::set<std::pair<const CStave*, const CMeasure*>> marked;
  for (const auto& up : score.Objects())
    if (auto* m = As<CMark>(up.get()); m && m->KindCode() == Kind::Mark && m->Value >= 1 && m->Value <= 3 && m->NoteLink)
      marked.emplace(m->OwnerStave, m->OwnerMeasure);
  for (const auto& up : score.Objects())
    if (auto* n = As<CNote>(up.get()); n && n->KindCode() == Kind::Note && !marked.count({n->OwnerStave, n->OwnerMeasure}))
      n->Style |= NTS_UPDATE_KEY;
  std::map<const CNote*, int> expected;
  for (auto& [note, notes] : made)
    for (size_t k = 0; k < notes.size() && k < note->Keys.size(); ++k) expected[notes[k]] = note->Keys[k];
  score.UpdateDerived();
  for (auto& [n, key] : expected)
    if (n->Key != key)
      return Fail(error, 0, "key " + std::to_string(key) + " reads back as " + std::to_string(n->Key) + " at x " +
                                std::to_string(n->X) + ", y " + std::to_string(n->Y));
  score.SetCurrent(nullptr, nullptr);
  score.AfterLoad();
  score.ComputeExtent();
  return true;
}
