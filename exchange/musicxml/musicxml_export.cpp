#include "exchange/musicxml/musicxml_export.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "common/file_util.h"
#include "common/gbk.h"
#include "common/paths.h"
#include "exchange/musicxml/zip_writer.h"
#include "editing/insert.h"
#include "model/derived.h"
#include "model/notes.h"
#include "model/page_objects.h"
#include "model/score.h"
#include "model/structure.h"

namespace {

// --- spelling ---------------------------------------------------------------------------

constexpr char kLetters[7] = {'F', 'G', 'A', 'B', 'C', 'D', 'E'};

struct Pitch {
  char Step = 'C';
  int Alter = 0;
  int Octave = 4;
};

// Spelled from where the head stands; the sounding key decides the
// alteration (and the octave, under an octave line). A key no letter near the
// position can reach is spelled on its own, with sharps.
Pitch SpellNote(const CNote& note, int clef, int key) {
  if (StaffNatural at; NaturalAtPosition(clef, note.dy, at)) {
    const int natural = at.Key;
    int delta = key - natural;
    int shift = 0;
    // An octave line moves the sound, not the letter.
    while (delta > 6) delta -= 12, shift += 12;
    while (delta < -6) delta += 12, shift -= 12;
    if (delta >= -2 && delta <= 2) {
      const int base = natural + shift;
      return {kLetters[at.Step % 7], delta, base / 12 - 1};
    }
  }
  static const char kSteps[12] = {'C', 'C', 'D', 'D', 'E', 'F', 'F', 'G', 'G', 'A', 'A', 'B'};
  static const int kAlters[12] = {0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0};
  return {kSteps[key % 12], kAlters[key % 12], key / 12 - 1};
}

// --- XML text -----------------------------------------------------------------------------

std::string Escape(const std::string& utf8) {
  std::string out;
  for (char c : utf8) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters other than tab and line breaks are not XML.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
        out += c;
    }
  }
  return out;
}

std::string Text(const CXText& t) { return Escape(qx::GbkToUtf8Lossy(t.text)); }

const char* TypeName(int code) {
  static const char* kTypes[] = {"breve", "whole", "half", "quarter", "eighth", "16th", "32nd", "64th", "128th"};
  return code >= 0 && code <= 8 ? kTypes[code] : "quarter";
}

// Measure values of the plain bar lines other than the single one.
constexpr int32_t kDoubleBarLine = 5, kHeavyLightBarLine = 6, kFinalBarLine = 9;

// --- what the score holds, per stave and measure -----------------------------------------

struct StaveMeasure {
  std::vector<const CNote*> Notes;  // notes and rests, by start
  std::vector<const CMark*> Marks;
  std::vector<const CXText*> Texts;
  std::vector<const CBeam*> Beams;
  // Per note, its beam lines from the primary one: "begin", "continue",
  // "end", "forward hook" or "backward hook".
  std::map<const CNote*, std::vector<std::string>> BeamTypes;
  // Dynamic marks by the note (or rest) they stand nearest to, written
  // just before it; those of a measure without notes stand at its start.
  std::map<const CNote*, std::vector<const char*>> Dynamics;
  std::vector<const char*> LooseDynamics;
  int Clef = -1;      // a clef in this measure (the first), -1 none
  int Fifths = 99;    // a key signature in this measure, 99 none
  bool HasTime = false;
};

int ClefOf(const CSign& s) {
  if (s.Value >= 0 && s.Value <= 2) return s.Value;
  if (s.Value >= 3 && s.Value <= 5) return s.Value - 3;
  return -1;
}

int FifthsOf(const CSign& s) {
  if (s.Value >= 272) return -std::min(7, s.Value - 272);
  return std::min(7, s.Value - 256);
}

// The dynamic mark a text stands for: texts of the dynamic kinds (their
// words as the insert tools write them), or any text made only of a mark
// MusicXML names.
const char* DynamicOf(const CXText& t) {
  static const char* kMarks[] = {"ppp", "pp", "p", "mp", "mf", "f", "ff", "fff", "fp", "sf", "sfz", "fz", "rfz", "sfp"};
  const std::string word = t.Value >= 64 && t.Value <= 76 ? InsertTextFor(t.Value) : t.text;
  for (const char* m : kMarks)
    if (word == m) return m;
  return nullptr;
}

// Articulations by mark type.
const char* ArticulationOfMark(int type) {
  switch (type) {
    case 90: return "staccato";
    case 88: return "tenuto";
    case 93: return "accent";
    case 106: case 107: return "staccatissimo";
    default: return nullptr;
  }
}

// Beam lines are stored as drawn: one segment per line, from stem to stem,
// the secondary lines a few units inside the primary one, hooks short. The
// notes whose stems a segment reaches are its notes; a segment's level is its
// distance from the primary line (the one reaching most stems).
void ReadBeams(StaveMeasure& cell) {
  if (cell.Beams.empty()) return;
  constexpr int kStemOffset = 4, kLevelGap = 4, kHook = 8;
  struct Stem {
    const CNote* note;
    int x;
  };
  std::vector<Stem> stems;
  std::set<int32_t> chords;
  for (const CNote* n : cell.Notes) {
    if (n->KindCode() != Kind::Note || n->Stem == 0) continue;
    if (n->Chord >= 0 && !chords.insert(n->Chord).second) continue;
    stems.push_back({n, n->X + (n->Stem < 0 ? kStemOffset : -kStemOffset)});
  }
  auto reaches = [](const CBeam& b, int x) { return x >= std::min(b.X, b.X1) - 1 && x <= std::max(b.X, b.X1) + 1; };
  std::map<const CBeam*, std::vector<size_t>> touched;
  for (const CBeam* b : cell.Beams)
    for (size_t i = 0; i < stems.size(); ++i)
      if (reaches(*b, stems[i].x)) touched[b].push_back(i);
  // Groups: segments sharing stems, each led by the segment reaching most.
  std::set<const CBeam*> done;
  for (const CBeam* primary : cell.Beams) {
    if (done.count(primary) || touched[primary].size() < 2) continue;
    for (const CBeam* other : cell.Beams)
      if (touched[other].size() > touched[primary].size() && !touched[other].empty() && !touched[primary].empty() &&
          touched[other].front() <= touched[primary].front() && touched[other].back() >= touched[primary].back())
        primary = other;
    if (done.count(primary)) continue;
    const auto& group = touched[primary];
    const double slope = primary->X1 != primary->X ? double(primary->Y1 - primary->Y) / (primary->X1 - primary->X) : 0.0;
    for (const CBeam* b : cell.Beams) {
      if (touched[b].empty() || touched[b].front() < group.front() || touched[b].back() > group.back()) continue;
      const double primaryY = primary->Y + slope * (b->X - primary->X);
      const int level = int(std::lround(std::abs(b->Y - primaryY) / kLevelGap));
      // Lines of another group that happen to span these stems lie far off.
      if (level > 5) continue;
      done.insert(b);
      const auto& notes = touched[b];
      for (size_t k = 0; k < notes.size(); ++k) {
        std::string type;
        const bool hook = std::abs(b->X1 - b->X) <= kHook && notes.size() == 1;
        if (hook) type = b->X1 > b->X ? "forward hook" : "backward hook";
        else type = k == 0 ? "begin" : k + 1 == notes.size() ? "end" : "continue";
        auto& lines = cell.BeamTypes[stems[notes[k]].note];
        if (lines.size() <= size_t(level)) lines.resize(size_t(level) + 1);
        lines[size_t(level)] = type;
      }
    }
  }
}

class Writer {
 public:
  Writer(const CScore& score, MusicXmlExportStats& stats) : score_(score), stats_(stats) {}
  std::string Run();

 private:
  struct Part {
    std::vector<int> StaveIndexes;  // indexes of staves within a system
  };

  void Collect();
  void Header();
  void WritePart(size_t partIndex);
  void WriteMeasure(const Part& part, size_t partIndex, const CStaff& system, const CMeasure& measure,
                    const CMeasure* previous, int number, bool first, bool last);
  void WriteVoice(const std::vector<const CNote*>& notes, const StaveMeasure& sm, int staff, int voice,
                  int64_t measureStart, int64_t measureTicks, int clef, int64_t& position);
  void WriteOctaveShift(const char* type, int staff);
  void WriteDynamic(const char* mark, int staff);
  void WriteNote(const CNote& n, const StaveMeasure& sm, int staff, int voice, int clef, bool chord,
                 int64_t measureTicks, bool wholeMeasure, int64_t duration, int tupletMarks);
  const StaveMeasure* Cell(const CStave* stave, const CMeasure* measure) const;

  const CScore& score_;
  MusicXmlExportStats& stats_;
  std::ostringstream out_;
  std::vector<Part> parts_;
  std::vector<std::pair<size_t, size_t>> braceGroups_;  // first and last part of a braced group
  std::map<std::pair<const CStave*, const CMeasure*>, StaveMeasure> cells_;
  std::map<int32_t, std::vector<const CNote*>> tieChains_;  // by the chain's first note
  std::vector<const COctaveLine*> octaveLines_;
  // Octave shifts by stave and onset: the shift's type where one begins
  // ("down" over an 8va line: the notes are written an octave below their
  // pitch), and the last onset under each. Taken by the first voice there.
  std::map<std::pair<const CStave*, int32_t>, const char*> shiftStarts_;
  std::set<std::pair<const CStave*, int32_t>> shiftStops_;
  // State carried from measure to measure, per part and staff.
  std::map<std::pair<size_t, int>, int> clefs_;
  std::map<size_t, int> fifths_;
  std::map<size_t, std::pair<int, int>> times_;
};

void Writer::Collect() {
  for (const auto& up : score_.Objects()) {
    const CXObject* o = up.get();
    const auto* so = As<CStaveObject>(o);
    if (!so || !so->OwnerStave || !so->OwnerMeasure) continue;
    StaveMeasure& cell = cells_[{so->OwnerStave, so->OwnerMeasure}];
    switch (o->KindCode()) {
      case Kind::Note:
      case Kind::Rest: {
        const auto* n = static_cast<const CNote*>(o);
        cell.Notes.push_back(n);
        if (n->Tie >= 0 && o->KindCode() == Kind::Note) tieChains_[n->Tie].push_back(n);
        break;
      }
      case Kind::Mark: cell.Marks.push_back(static_cast<const CMark*>(o)); break;
      case Kind::OctaveLine: octaveLines_.push_back(static_cast<const COctaveLine*>(o)); break;
      case Kind::Beam: cell.Beams.push_back(static_cast<const CBeam*>(o)); break;
      case Kind::Text: cell.Texts.push_back(static_cast<const CXText*>(o)); break;
      case Kind::Sign: {
        const auto* s = static_cast<const CSign*>(o);
        if (s->Style == SIGN_CLEF && cell.Clef < 0) cell.Clef = ClefOf(*s);
        if (s->Style == SIGN_KEY && s->Value >= 256) cell.Fifths = FifthsOf(*s);
        if (s->Style == SIGN_TIME) cell.HasTime = true;
        break;
      }
      default: break;
    }
  }
  for (auto& [key, cell] : cells_) {
    std::stable_sort(cell.Notes.begin(), cell.Notes.end(),
                     [](const CNote* a, const CNote* b) { return a->Start < b->Start; });
    ReadBeams(cell);
    // Only the note opening a chord takes a direction before it.
    std::vector<const CNote*> openers;
    std::set<int32_t> chords;
    for (const CNote* n : cell.Notes)
      if (!(n->Style & NTS_GRACE) && (n->KindCode() != Kind::Note || n->Chord < 0 || chords.insert(n->Chord).second))
        openers.push_back(n);
    for (const CXText* t : cell.Texts) {
      const char* dyn = DynamicOf(*t);
      if (!dyn) continue;
      const CNote* nearest = nullptr;
      for (const CNote* n : openers)
        if (!nearest || std::abs(n->Left - t->Left) < std::abs(nearest->Left - t->Left)) nearest = n;
      if (nearest) cell.Dynamics[nearest].push_back(dyn);
      else cell.LooseDynamics.push_back(dyn);
    }
  }
  // Octave lines: from the first to the last onset of the stave's notes
  // whose heads stand under the line.
  for (const COctaveLine* line : octaveLines_) {
    int32_t first = INT32_MAX, last = INT32_MIN;
    for (const auto& [key, cell] : cells_)
      if (key.first == line->OwnerStave)
        for (const CNote* n : cell.Notes)
          if (n->KindCode() == Kind::Note && n->X >= line->Left && n->X <= line->Right) {
            first = std::min(first, n->Start);
            last = std::max(last, n->Start);
          }
    if (first > last) continue;
    shiftStarts_[{line->OwnerStave, first}] = line->Value == 1 ? "up" : "down";
    shiftStops_.insert({line->OwnerStave, last});
  }
  for (auto& [first, chain] : tieChains_)
    std::stable_sort(chain.begin(), chain.end(), [](const CNote* a, const CNote* b) { return a->Start < b->Start; });

  // Parts from the first system: staves joined by a brace make one part,
  // the staves of one keyboard instrument (two, three for an organ). A
  // larger brace groups instruments: a part per stave in a braced group
  // (readers take no more than a few staves in a part).
  constexpr size_t kMostStavesOfAPart = 3;
  if (score_.Staffs.empty()) return;
  const CStaff& system = *score_.Staffs.front();
  std::vector<int> group(system.Staves.size(), -1);
  int groups = 0;
  for (size_t i = 0; i < system.Staves.size(); ++i)
    for (const CStaveObject* o : system.Staves[i]->Attached) {
      if (o->KindCode() != Kind::Bracket) continue;
      std::vector<size_t> joined;
      for (size_t j = 0; j < system.Staves.size(); ++j)
        if (system.Staves[j]->Top >= o->Top && system.Staves[j]->Bottom <= o->Bottom + 1) joined.push_back(j);
      if (joined.size() < 2) continue;
      if (joined.size() > kMostStavesOfAPart) {
        braceGroups_.push_back({joined.front(), joined.back()});
        continue;
      }
      const int g = groups++;
      for (size_t j : joined)
        if (group[j] < 0) group[j] = g;
    }
  std::map<int, size_t> partOfGroup;
  for (size_t i = 0; i < system.Staves.size(); ++i) {
    if (group[i] >= 0 && partOfGroup.count(group[i])) {
      parts_[partOfGroup[group[i]]].StaveIndexes.push_back(int(i));
      continue;
    }
    if (group[i] >= 0) partOfGroup[group[i]] = parts_.size();
    parts_.push_back(Part{{int(i)}});
  }
  // Stave indexes of the braced groups to part indexes.
  for (auto& [first, last] : braceGroups_)
    for (size_t p = 0; p < parts_.size(); ++p)
      for (int index : parts_[p].StaveIndexes) {
        if (size_t(index) == first) first = p;
        if (size_t(index) == last) last = p;
      }
}

const StaveMeasure* Writer::Cell(const CStave* stave, const CMeasure* measure) const {
  auto it = cells_.find({stave, measure});
  return it == cells_.end() ? nullptr : &it->second;
}

void Writer::Header() {
  out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
          "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
          "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
          "<score-partwise version=\"4.0\">\n";
  // Title and composer: the largest text above the first system, and a text
  // there that ends near the right margin.
  const CXText* title = nullptr;
  const CXText* composer = nullptr;
  const int top = score_.Staffs.empty() ? INT32_MAX : score_.Staffs.front()->Top;
  auto height = [&](const CXText* t) {
    return t->Font >= 0 && size_t(t->Font) < score_.Fonts.size() ? std::abs(score_.Fonts[t->Font].Height) : 0;
  };
  for (const auto& up : score_.Objects()) {
    if (up->KindCode() != Kind::Text) continue;
    const auto* t = static_cast<const CXText*>(up.get());
    if (t->Bottom > top || DynamicOf(*t)) continue;
    if (!title || height(t) > height(title)) title = t;
  }
  for (const auto& up : score_.Objects()) {
    if (up->KindCode() != Kind::Text || up.get() == title) continue;
    const auto* t = static_cast<const CXText*>(up.get());
    if (t->Bottom <= top && t->Right >= score_.PaperWidth - score_.LeftMargin - 40 && !DynamicOf(*t))
      composer = t;
  }
  if (title) out_ << "  <work><work-title>" << Text(*title) << "</work-title></work>\n";
  out_ << "  <identification>\n";
  if (composer) out_ << "    <creator type=\"composer\">" << Text(*composer) << "</creator>\n";
  out_ << "    <encoding><software>Quavix</software><encoding-date>2026-01-01</encoding-date></encoding>\n"
          "  </identification>\n";
  out_ << "  <part-list>\n";
  for (size_t p = 0; p < parts_.size(); ++p) {
    for (size_t g = 0; g < braceGroups_.size(); ++g)
      if (braceGroups_[g].first == p)
        out_ << "    <part-group type=\"start\" number=\"" << g + 1
             << "\"><group-symbol>brace</group-symbol></part-group>\n";
    const std::string name = parts_[p].StaveIndexes.size() > 1 ? "Piano" : "Staff " + std::to_string(p + 1);
    out_ << "    <score-part id=\"P" << p + 1 << "\"><part-name>" << name << "</part-name>";
    const CStaff* system = score_.Staffs.empty() ? nullptr : score_.Staffs.front();
    const size_t index = size_t(parts_[p].StaveIndexes.front());
    const CStave* first = system && index < system->Staves.size() ? system->Staves[index] : nullptr;
    // Every part plays an instrument, which its MIDI settings name; readers
    // complain about a part without one.
    out_ << "<score-instrument id=\"P" << p + 1 << "-I1\"><instrument-name>" << name
         << "</instrument-name></score-instrument>";
    if (first && first->Patch < 128)
      out_ << "<midi-instrument id=\"P" << p + 1 << "-I1\"><midi-channel>" << (first->Channel & 15) + 1
           << "</midi-channel><midi-program>" << first->Patch + 1 << "</midi-program></midi-instrument>";
    out_ << "</score-part>\n";
    for (size_t g = braceGroups_.size(); g-- > 0;)
      if (braceGroups_[g].second == p) out_ << "    <part-group type=\"stop\" number=\"" << g + 1 << "\"/>\n";
  }
  out_ << "  </part-list>\n";
}

std::string Writer::Run() {
  Collect();
  if (parts_.empty()) parts_.push_back(Part{{0}});
  Header();
  for (size_t p = 0; p < parts_.size(); ++p) WritePart(p);
  out_ << "</score-partwise>\n";
  stats_.Parts = int(parts_.size());
  return out_.str();
}

void Writer::WritePart(size_t p) {
  out_ << "  <part id=\"P" << p + 1 << "\">\n";
  int number = 0;
  size_t total = 0;
  for (const CStaff* system : score_.Staffs) total += system->Measures.size();
  bool first = true;
  const CMeasure* previous = nullptr;
  for (const CStaff* system : score_.Staffs)
    for (const CMeasure* measure : system->Measures) {
      ++number;
      WriteMeasure(parts_[p], p, *system, *measure, previous, number, first, size_t(number) == total);
      first = false;
      previous = measure;
    }
  if (number == 0) out_ << "    <measure number=\"1\"/>\n";
  if (p == 0) stats_.Measures = number;
  out_ << "  </part>\n";
}

void Writer::WriteMeasure(const Part& part, size_t p, const CStaff& system, const CMeasure& measure,
                          const CMeasure* previous, int number, bool first, bool last) {
  out_ << "    <measure number=\"" << number << "\">\n";
  if (first && number > 1) out_ << "      <print new-system=\"yes\"/>\n";
  if (!first && system.Measures.front() == &measure) out_ << "      <print new-system=\"yes\"/>\n";

  const int staves = int(part.StaveIndexes.size());
  auto staveAt = [&](int s) -> const CStave* {
    const int i = part.StaveIndexes[size_t(s)];
    return size_t(i) < system.Staves.size() ? system.Staves[size_t(i)] : nullptr;
  };

  // A repeat start is the bar line that ends its measure: the section
  // repeated begins with the next measure, whose left bar line it is here.
  const bool repeatStart = previous && (previous->Style & MEASURE_REPEAT_START);
  if (repeatStart || (measure.Style & MEASURE_ENDING_BEGIN)) {
    out_ << "      <barline location=\"left\">";
    if (repeatStart) out_ << "<bar-style>heavy-light</bar-style>";
    if (measure.Style & MEASURE_ENDING_BEGIN) out_ << "<ending number=\"1\" type=\"start\"/>";
    if (repeatStart) out_ << "<repeat direction=\"forward\"/>";
    out_ << "</barline>\n";
  }

  // Attributes that start here or change.
  std::ostringstream attributes;
  if (first) attributes << "        <divisions>" << std::max(1, score_.TimeBase) << "</divisions>\n";
  int fifths = 99;
  for (int s = 0; s < staves; ++s)
    if (const CStave* st = staveAt(s))
      if (const StaveMeasure* c = Cell(st, &measure); c && c->Fifths != 99) {
        fifths = c->Fifths;
        break;
      }
  if (first && fifths == 99) fifths = 0;
  if (fifths != 99 && (!fifths_.count(p) || fifths_[p] != fifths)) {
    attributes << "        <key><fifths>" << fifths << "</fifths></key>\n";
    fifths_[p] = fifths;
  }
  const std::pair<int, int> time{measure.Numerator, measure.Denominator};
  if (!times_.count(p) || times_[p] != time) {
    attributes << "        <time><beats>" << time.first << "</beats><beat-type>" << time.second
               << "</beat-type></time>\n";
    times_[p] = time;
  }
  if (first && staves > 1) attributes << "        <staves>" << staves << "</staves>\n";
  for (int s = 0; s < staves; ++s) {
    const CStave* st = staveAt(s);
    const StaveMeasure* c = st ? Cell(st, &measure) : nullptr;
    int clef = c && c->Clef >= 0 ? c->Clef : (first ? 0 : -1);
    if (clef < 0) continue;
    auto& known = clefs_[{p, s}];
    if (!first && known == clef + 1) continue;
    known = clef + 1;
    static const char* kSigns[3] = {"G", "F", "C"};
    static const int kLines[3] = {2, 4, 3};
    attributes << "        <clef" << (staves > 1 ? " number=\"" + std::to_string(s + 1) + "\"" : "") << "><sign>"
               << kSigns[clef] << "</sign><line>" << kLines[clef] << "</line></clef>\n";
  }
  if (!attributes.str().empty()) out_ << "      <attributes>\n" << attributes.str() << "      </attributes>\n";

  // The tempo our playback keeps throughout (the score's, which the last
  // tempo word sets) at the first measure; tempo words where they stand.
  std::string word;
  for (int s = 0; s < staves && word.empty(); ++s)
    if (const CStave* st = staveAt(s))
      if (const StaveMeasure* c = Cell(st, &measure))
        for (const CXText* t : c->Texts)
          if (TempoOfWord(t->text.data(), t->text.size())) word = t->text;
  if (first || !word.empty()) {
    out_ << "      <direction placement=\"above\">";
    if (!word.empty()) out_ << "<direction-type><words>" << Escape(word) << "</words></direction-type>";
    if (first) {
      const int bpm = int(60000000.0 / std::max(1, score_.Tempo) + 0.5);
      out_ << "<direction-type><metronome><beat-unit>quarter</beat-unit><per-minute>" << bpm
           << "</per-minute></metronome></direction-type><sound tempo=\"" << bpm << "\"/>";
    }
    out_ << "</direction>\n";
  }
  if (measure.Style & MEASURE_SEGNO)
    out_ << "      <direction placement=\"above\"><direction-type><segno/></direction-type><sound segno=\"s1\"/></direction>\n";

  // The music, stave by stave and voice by voice, backing up between them.
  const int64_t ticks = std::max<int64_t>(1, measure.Ticks);
  bool wrote = false;
  for (int s = 0; s < staves; ++s) {
    const CStave* st = staveAt(s);
    const StaveMeasure* c = st ? Cell(st, &measure) : nullptr;
    const int clef = std::max(0, clefs_[{p, s}] - 1);
    std::map<int, std::vector<const CNote*>> voices;
    if (c)
      for (const CNote* n : c->Notes) voices[n->Voice].push_back(n);
    if (voices.empty()) {
      // A measure with nothing in it rests.
      if (wrote) out_ << "      <backup><duration>" << ticks << "</duration></backup>\n";
      if (c)
        for (const char* dyn : c->LooseDynamics) WriteDynamic(dyn, s);
      out_ << "      <note><rest measure=\"yes\"/><duration>" << ticks << "</duration><voice>" << s * 4 + 1
           << "</voice>" << (staves > 1 ? "<staff>" + std::to_string(s + 1) + "</staff>" : "") << "</note>\n";
      wrote = true;
      ++stats_.Rests;
      continue;
    }
    for (auto& [voice, notes] : voices) {
      if (wrote) out_ << "      <backup><duration>" << ticks << "</duration></backup>\n";
      int64_t position = 0;
      WriteVoice(notes, *c, s, s * 4 + std::clamp(voice, 0, 3) + 1, measure.Start, ticks, clef, position);
      if (position < ticks) out_ << "      <forward><duration>" << ticks - position << "</duration></forward>\n";
      wrote = true;
    }
  }

  if (measure.Style & MEASURE_FINE)
    out_ << "      <direction placement=\"below\"><direction-type><words>Fine</words></direction-type><sound fine=\"yes\"/></direction>\n";
  if (measure.Style & MEASURE_DC)
    out_ << "      <direction placement=\"above\"><direction-type><words>D.C.</words></direction-type><sound dacapo=\"yes\"/></direction>\n";
  if (measure.Style & MEASURE_DS)
    out_ << "      <direction placement=\"above\"><direction-type><words>D.S.</words></direction-type><sound dalsegno=\"s1\"/></direction>\n";
  if (measure.Style & (MEASURE_REPEAT_END | MEASURE_ENDING_END) || last) {
    out_ << "      <barline location=\"right\"><bar-style>light-heavy</bar-style>";
    if (measure.Style & MEASURE_ENDING_END) out_ << "<ending number=\"1\" type=\"stop\"/>";
    if (measure.Style & MEASURE_REPEAT_END) out_ << "<repeat direction=\"backward\"/>";
    out_ << "</barline>\n";
  } else if (measure.Value == kDoubleBarLine) {
    out_ << "      <barline location=\"right\"><bar-style>light-light</bar-style></barline>\n";
  } else if (measure.Value == kFinalBarLine) {
    out_ << "      <barline location=\"right\"><bar-style>light-heavy</bar-style></barline>\n";
  } else if (measure.Value == kHeavyLightBarLine) {
    out_ << "      <barline location=\"right\"><bar-style>heavy-light</bar-style></barline>\n";
  }
  out_ << "    </measure>\n";
}

// The time a note's written value stands for, as the recalculation gives
// it before grace notes borrow from it.
int64_t WrittenTicks(const CNote& n, int timeBase) {
  const int code = n.DurationCode();
  if (code > 8) return n.Ticks;
  double ticks = std::trunc(std::ldexp(1.0, 3 - code) * timeBase);
  if (n.Style & NTS_DOTTED) ticks = std::trunc(ticks * 1.5);
  else if (n.Style & NTS_DOUBLE_DOTTED) ticks = std::trunc(ticks * 1.75);
  if (const int t = n.TupletCount()) {
    const double mult = t == 3 ? 2 : (t >= 5 && t <= 7) ? 4 : (t >= 9 && t <= 11) ? 8 : std::ldexp(1.0, 3 - code);
    ticks = std::trunc(mult * ticks / t);
  }
  return int64_t(ticks);
}

// Tuplet brackets of a voice: the notes that open and close each group.
// A run of notes of one tuplet count is cut into groups, each closing where
// its time makes whole written values of a note it holds (a triplet closes
// at two eighths' time after three eighths, or after a quarter and an eighth).
void MarkTuplets(const std::vector<const CNote*>& notes, int timeBase, std::map<const CNote*, int>& marks) {
  constexpr int kStart = 1, kStop = 2;
  const CNote* open = nullptr;
  const CNote* last = nullptr;
  int count = 0;
  int64_t time = 0;
  std::set<int64_t> targets;
  std::set<int32_t> chords;
  auto close = [&] {
    if (open) marks[open] |= kStart, marks[last] |= kStop;
    open = nullptr;
  };
  for (const CNote* n : notes) {
    if ((n->Style & NTS_GRACE) || (n->KindCode() == Kind::Note && n->Chord >= 0 && !chords.insert(n->Chord).second))
      continue;
    const int t = n->TupletCount();
    if (t < 2 || (open && t != count)) close();
    if (t < 2) continue;
    if (!open) open = n, count = t, time = 0, targets.clear();
    int normal = 1;
    while (normal * 2 < t) normal *= 2;
    const int code = n->DurationCode();
    if (code <= 8) targets.insert(normal * int64_t(std::ldexp(1.0, 3 - code) * timeBase));
    time += std::max(0, n->Ticks);
    last = n;
    // Ticks are truncated: allow a tick a note.
    for (int64_t target : targets)
      if (std::abs(time - target) <= t) {
        close();
        break;
      }
  }
  close();
}

void Writer::WriteVoice(const std::vector<const CNote*>& notes, const StaveMeasure& sm, int staff, int voice,
                        int64_t measureStart, int64_t measureTicks, int clef, int64_t& position) {
  std::map<const CNote*, int> tuplets;
  MarkTuplets(notes, score_.TimeBase, tuplets);
  // Chords: members share their leader's number and start; the leader (or
  // the first written) carries the duration, the others say <chord/>.
  // Grace notes take no time in MusicXML: what they borrowed from their main
  // note (before it, or after it) is given back, so the main note keeps its
  // written value and starts where its grace notes do.
  std::map<int32_t, std::pair<int64_t, int64_t>> chordTimes;  // chord -> at, time given back
  const bool lone = notes.size() == 1 && notes.front()->KindCode() == Kind::Rest;
  bool stopShift = false;  // after the chord being written
  for (size_t i = 0; i < notes.size(); ++i) {
    const CNote* n = notes[i];
    const bool grace = n->Style & NTS_GRACE;
    int64_t at = std::clamp<int64_t>(int64_t(n->Start) - measureStart, 0, measureTicks);
    int64_t duration = std::max(0, n->Ticks);
    bool chord = false;
    if (n->KindCode() == Kind::Note && n->Chord >= 0) {
      auto [it, opened] = chordTimes.try_emplace(n->Chord, 0, 0);
      chord = !opened;
      if (chord) {
        at = it->second.first;
        duration += it->second.second;
      }
    }
    if (!chord && !grace) {
      const int64_t lent = WrittenTicks(*n, score_.TimeBase) - duration;
      const auto isGrace = [&](size_t k) { return k < notes.size() && (notes[k]->Style & NTS_GRACE); };
      int64_t back = 0;
      if (lent > 0 && i > 0 && isGrace(i - 1)) {
        back = std::min(lent, at);
        at -= back;
      } else if (lent > 0 && isGrace(i + 1)) {
        back = lent;
      }
      duration += back;
      if (n->KindCode() == Kind::Note && n->Chord >= 0) chordTimes[n->Chord] = {at, back};
      if (stopShift) WriteOctaveShift("stop", staff);
      stopShift = false;
      if (at > position) out_ << "      <forward><duration>" << at - position << "</duration></forward>\n";
      if (at < position) out_ << "      <backup><duration>" << position - at << "</duration></backup>\n";
      position = at;
    }
    if (!chord && n->KindCode() == Kind::Note) {
      const std::pair<const CStave*, int32_t> key{n->OwnerStave, n->Start};
      if (auto it = shiftStarts_.find(key); it != shiftStarts_.end()) {
        WriteOctaveShift(it->second, staff);
        shiftStarts_.erase(it);
      }
      if (!grace && shiftStops_.erase(key)) stopShift = true;
    }
    if (auto it = sm.Dynamics.find(n); it != sm.Dynamics.end())
      for (const char* dyn : it->second) WriteDynamic(dyn, staff);
    const auto tuplet = tuplets.find(n);
    WriteNote(*n, sm, staff, voice, clef, chord, measureTicks, lone && n->DurationCode() <= 1,
              std::max<int64_t>(1, duration), tuplet == tuplets.end() ? 0 : tuplet->second);
    if (!chord && !grace) position += duration;
  }
  if (stopShift) WriteOctaveShift("stop", staff);
}

void Writer::WriteDynamic(const char* mark, int staff) {
  out_ << "      <direction placement=\"below\"><direction-type><dynamics><" << mark
       << "/></dynamics></direction-type><staff>" << staff + 1 << "</staff></direction>\n";
}

void Writer::WriteOctaveShift(const char* type, int staff) {
  // The line stands above the notes of an 8va, below those of an 8vb.
  const std::string where = type[0] == 'd' ? " placement=\"above\"" : type[0] == 'u' ? " placement=\"below\"" : "";
  out_ << "      <direction" << where << "><direction-type><octave-shift type=\"" << type << "\" size=\"8\"/></direction-type><staff>"
       << staff + 1 << "</staff></direction>\n";
}

void Writer::WriteNote(const CNote& n, const StaveMeasure& sm, int staff, int voice, int clef, bool chord,
                       int64_t measureTicks, bool wholeMeasure, int64_t duration, int tupletMarks) {
  const bool rest = n.KindCode() == Kind::Rest;
  const bool grace = n.Style & NTS_GRACE;
  // Ties: a note followed by another of its chain starts a tie; one that is
  // not the chain's first ends one. Only a chain's first note plays, for the
  // whole chain: the others sound its key, whatever clef or key signature
  // they stand under, and are written so.
  bool tieStart = false, tieStop = false;
  int key = n.Key;
  if (!rest && n.Tie >= 0) {
    auto it = tieChains_.find(n.Tie);
    if (it != tieChains_.end() && it->second.size() > 1) {
      const auto& chain = it->second;
      const auto pos = std::find(chain.begin(), chain.end(), &n) - chain.begin();
      tieStop = pos > 0;
      tieStart = size_t(pos) + 1 < chain.size();
      key = chain.front()->Key;
    }
  }
  out_ << "      <note>";
  if (grace) out_ << "<grace" << (n.DurationCode() >= 4 ? " slash=\"yes\"" : "") << "/>";
  if (chord) out_ << "<chord/>";
  if (rest) {
    out_ << (wholeMeasure ? "<rest measure=\"yes\"/>" : "<rest/>");
    ++stats_.Rests;
  } else {
    Pitch pitch = SpellNote(n, clef, key);
    // MusicXML's octaves run 0 to 9: a note below C0 (or spelled below it,
    // as B-sharp) is written in the lowest octave there is, and counted.
    if (pitch.Octave < 0 || pitch.Octave > 9) {
      pitch.Octave = std::clamp(pitch.Octave, 0, 9);
      ++stats_.OutOfRange;
    }
    out_ << "<pitch><step>" << pitch.Step << "</step>";
    if (pitch.Alter) out_ << "<alter>" << pitch.Alter << "</alter>";
    out_ << "<octave>" << pitch.Octave << "</octave></pitch>";
    ++stats_.Notes;
  }
  if (!grace) out_ << "<duration>" << (wholeMeasure ? measureTicks : duration) << "</duration>";

  if (tieStop) out_ << "<tie type=\"stop\"/>";
  if (tieStart) out_ << "<tie type=\"start\"/>";
  out_ << "<voice>" << voice << "</voice>";
  if (!wholeMeasure) out_ << "<type>" << TypeName(n.DurationCode()) << "</type>";
  if (!wholeMeasure) {
    if (n.Style & NTS_DOUBLE_DOTTED) out_ << "<dot/><dot/>";
    else if (n.Style & NTS_DOTTED) out_ << "<dot/>";
  }
  const int tuplet = n.TupletCount();
  if (tuplet >= 2) {
    int normal = 1;
    while (normal * 2 < tuplet) normal *= 2;
    out_ << "<time-modification><actual-notes>" << tuplet << "</actual-notes><normal-notes>" << normal
         << "</normal-notes></time-modification>";
  }
  if (sm.Notes.size() && !rest && !chord) {
    // Stems as the page shows them: the stem's length runs down the page
    // when positive.
    if (n.Stem < 0) out_ << "<stem>up</stem>";
    else if (n.Stem > 0) out_ << "<stem>down</stem>";
  }
  out_ << "<staff>" << staff + 1 << "</staff>";
  if (auto it = sm.BeamTypes.find(&n); it != sm.BeamTypes.end())
    for (size_t level = 0; level < it->second.size(); ++level)
      if (!it->second[level].empty())
        out_ << "<beam number=\"" << level + 1 << "\">" << it->second[level] << "</beam>";

  // Notations: ties, articulations from marks bound to this note or the
  // note's own style bits.
  std::vector<std::string> articulations;
  if (n.Style & NTS_STACCATO) articulations.push_back("staccato");
  if (n.Style & NTS_TENUTO) articulations.push_back("tenuto");
  if (n.Style & NTS_ACCENT) articulations.push_back("accent");
  bool fermata = false;
  for (const CMark* m : sm.Marks) {
    if (m->NoteLink != &n) continue;
    if (const char* a = ArticulationOfMark(m->Value)) {
      if (std::find(articulations.begin(), articulations.end(), a) == articulations.end()) articulations.push_back(a);
    }
    if (m->Value == 48 || m->Value == 49) fermata = true;
  }
  if (tieStart || tieStop || !articulations.empty() || fermata || tupletMarks) {
    out_ << "<notations>";
    if (tieStop) out_ << "<tied type=\"stop\"/>";
    if (tieStart) out_ << "<tied type=\"start\"/>";
    // The bracket (or number) of a tuplet group, from its first note to its last.
    if (tupletMarks & 1) out_ << "<tuplet type=\"start\"/>";
    if (tupletMarks & 2) out_ << "<tuplet type=\"stop\"/>";
    if (!articulations.empty()) {
      out_ << "<articulations>";
      for (const std::string& a : articulations) out_ << "<" << a << "/>";
      out_ << "</articulations>";
    }
    if (fermata) out_ << "<fermata/>";
    out_ << "</notations>";
  }
  out_ << "</note>\n";
}

}  // namespace

std::string ExportMusicXml(const CScore& score, MusicXmlExportStats* stats) {
  MusicXmlExportStats local;
  Writer writer(score, stats ? *stats : local);
  return writer.Run();
}

bool SaveMusicXml(const CScore& score, const std::string& path, std::string* error, MusicXmlExportStats* stats) {
  const std::string xml = ExportMusicXml(score, stats);
  if (qx::FileExtensionLower(path) != ".mxl") return qx::WriteFileAtomically(path, xml, error);
  const std::string container =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<container><rootfiles><rootfile full-path=\"score.musicxml\" "
      "media-type=\"application/vnd.recordare.musicxml+xml\"/></rootfiles></container>\n";
  ZipWriter zip;
  // The media type first and stored, as the container format asks.
  zip.Add("mimetype", "application/vnd.recordare.musicxml", false);
  zip.Add("META-INF/container.xml", container, true);
  zip.Add("score.musicxml", xml, true);
  return qx::WriteFileAtomically(path, zip.Finish(), error);
}
