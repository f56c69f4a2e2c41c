#include "exchange/musicxml/musicxml_import.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <tuple>
#include <vector>

#include "common/file_util.h"
#include "common/gbk.h"
#include "editing/insert.h"
#include "editing/notated_import.h"
#include "editing/recorder.h"
#include "exchange/musicxml/zip_reader.h"
#include "model/page_objects.h"
#include "model/score.h"
#include "model/structure.h"
#include "model/derived.h"

namespace {

constexpr int kTimeBase = 480;             // ticks per quarter of the score built
constexpr int64_t kMaxTick = int64_t(1) << 30;
constexpr int kMaxNotes = 2000000;
constexpr int kMaxStaves = 64;
constexpr int kMaxVoices = 16;             // voices a stave holds
constexpr size_t kMaxXmlBytes = size_t(256) << 20;

struct Fail {
  std::string why;
};

int IntOf(const pugi::xml_node& n, const char* child, int fallback = 0) {
  const pugi::xml_node c = n.child(child);
  if (!c) return fallback;
  const char* t = c.child_value();
  char* end = nullptr;
  const long v = std::strtol(t, &end, 10);
  if (end == t) return fallback;
  return int(std::clamp<long>(v, -1000000000L, 1000000000L));
}

double NumberOf(const pugi::xml_node& n, const char* child, double fallback = 0) {
  const pugi::xml_node c = n.child(child);
  if (!c) return fallback;
  char* end = nullptr;
  const double v = std::strtod(c.child_value(), &end);
  return end == c.child_value() ? fallback : v;
}

bool Is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// Duration code of a MusicXML note type (-1 for none known).
int CodeOfType(const char* type) {
  static const char* kTypes[] = {"breve", "whole", "half", "quarter", "eighth", "16th", "32nd", "64th", "128th"};
  for (int i = 0; i < 9; ++i)
    if (Is(type, kTypes[i])) return i;
  if (Is(type, "256th") || Is(type, "512th") || Is(type, "1024th")) return 8;
  if (Is(type, "long") || Is(type, "maxima")) return 0;
  return -1;
}

// Tuplet counts the score's lengths have a rule for: 3 in the time of 2,
// 5 to 7 in the time of 4, 9 to 11 in the time of 8.
bool TupletKept(int actual, int normal) {
  return (actual == 3 && normal == 2) || (actual >= 5 && actual <= 7 && normal == 4) ||
         (actual >= 9 && actual <= 11 && normal == 8);
}

int64_t ValueTicks(int code, int dots, int tuplet) {
  int64_t t = (int64_t(kTimeBase) * 8) >> code;
  if (dots == 1) t = t * 3 / 2;
  else if (dots == 2) t = t * 7 / 4;
  if (tuplet) t = (tuplet == 3 ? 2 : tuplet <= 7 ? 4 : 8) * t / tuplet;
  return t;
}

// The written value a length shows, for notes the file gives no type.
bool ValueOfLength(int64_t ticks, int& code, int& dots) {
  for (int d = 0; d <= 2; ++d)
    for (int c = 0; c <= 8; ++c)
      if (ValueTicks(c, d, 0) == ticks) {
        code = c;
        dots = d;
        return true;
      }
  return false;
}

int AccidentalMark(const char* name) {
  if (Is(name, "flat")) return 1;
  if (Is(name, "sharp")) return 2;
  if (Is(name, "natural")) return 3;
  if (Is(name, "flat-flat")) return 7;
  if (Is(name, "double-sharp") || Is(name, "sharp-sharp")) return 8;
  return 0;
}

// The dynamic text kinds the editor's text tool knows, by their word.
int DynamicKind(const std::string& word) {
  for (int n = 64; n <= 76; ++n)
    if (word == InsertTextFor(n)) return n;
  return 0;
}

// A measure length as a time signature of the given denominator or a finer one.
bool MeterOfLength(int64_t ticks, int denominator, int& num, int& den) {
  for (int d = denominator; d <= 64; d *= 2) {
    const int64_t whole = int64_t(kTimeBase) * 4;
    if ((ticks * d) % whole) continue;
    const int64_t n = ticks * d / whole;
    if (n >= 1 && n <= 127) {
      num = int(n);
      den = d;
      return true;
    }
  }
  return false;
}

struct PartInfo {
  std::string Id;
  int FirstStaff = 0;
  int Staves = 1;
};

// What is read, part by part, into the notated form.
struct Reader {
  NotatedScore& music;
  MusicXmlImportReport& report;
  std::vector<int64_t> measureStarts;  // from the first part
  std::vector<int64_t> measureLengths;
  bool accidentalsGiven = false;

  void Ignore(const char* what) { ++report.Ignored[what]; }
  void ReadPart(const PartInfo& part, size_t partIndex, const std::vector<pugi::xml_node>& measures, bool first);
  void AddText(int staff, int64_t tick, const std::string& utf8, bool below, int value);
};

void Reader::AddText(int staff, int64_t tick, const std::string& utf8, bool below, int value) {
  std::string gbk;
  if (utf8.empty()) return;
  if (!qx::Utf8ToGbk(utf8, gbk)) {
    Ignore("无法显示的文字");
    return;
  }
  music.Texts.push_back({staff, tick, gbk, below, value});
}

void Reader::ReadPart(const PartInfo& part, size_t partIndex, const std::vector<pugi::xml_node>& measures, bool first) {
  int divisions = 0;
  int beats = 4, beatType = 4;
  int fifths = 0;
  int transpose = 0;  // semitones from the written to the sounding pitch
  // Voices per stave of the part, in the order they appear.
  std::vector<std::map<std::string, int>> voices(size_t(part.Staves));
  std::map<int, NotatedWedge> wedgeOpen;  // by number
  std::map<int, NotatedOctaveLine> octaveOpen;  // by stave: heads written an octave from their sound
  std::vector<NotatedClef>* clefs[kMaxStaves] = {};
  for (int s = 0; s < part.Staves; ++s) clefs[s] = &music.Staves[size_t(part.FirstStaff + s)].Clefs;
  size_t index = 0;
  int64_t measureStart = 0;
  for (const pugi::xml_node& measure : measures) {
    if (!first && index >= measureStarts.size()) {
      Ignore("多出的小节");
      break;
    }
    if (!first) measureStart = measureStarts[index];
    int64_t position = 0, longest = 0;
    NotatedNote* last = nullptr;  // the note a <chord/> joins
    int64_t chordOnset = 0;       // where the latest note that is no chord member starts
    auto ticks = [&](double value) -> int64_t {
      if (divisions <= 0) throw Fail{"a duration comes before the part's divisions"};
      const double t = value * kTimeBase / divisions;
      if (!(t >= 0) || t > double(kMaxTick)) throw Fail{"a duration beyond the limits"};
      return int64_t(t + 0.5);
    };
    auto staffOf = [&](const pugi::xml_node& e) {
      return part.FirstStaff + std::clamp(IntOf(e, "staff", 1), 1, part.Staves) - 1;
    };
    for (const pugi::xml_node& e : measure.children()) {
      const char* name = e.name();
      if (Is(name, "attributes")) {
        if (e.child("divisions")) {
          divisions = IntOf(e, "divisions");
          if (divisions <= 0 || divisions > 1000000) throw Fail{"divisions out of range"};
        }
        if (const pugi::xml_node time = e.child("time")) {
          beats = std::clamp(IntOf(time, "beats", 4), 1, 64);
          beatType = IntOf(time, "beat-type", 4);
          if (beatType <= 0 || beatType > 64 || (beatType & (beatType - 1))) beatType = 4;
        }
        if (const pugi::xml_node key = e.child("key")) {
          fifths = std::clamp(IntOf(key, "fifths"), -7, 7);
          // Each part keeps its own key (a transposing instrument writes another).
          for (int st = 0; st < part.Staves; ++st) {
            auto& keys = music.Staves[size_t(part.FirstStaff + st)].Keys;
            if (!keys.empty() && keys.back().first == int(index)) keys.back().second = fifths;
            else if (keys.empty() || keys.back().second != fifths) keys.push_back({int(index), fifths});
          }
        }
        if (const pugi::xml_node t = e.child("transpose"))
          transpose = std::clamp(IntOf(t, "chromatic") + 12 * IntOf(t, "octave-change"), -48, 48);
        for (const pugi::xml_node clef : e.children("clef")) {
          const int number = std::clamp(clef.attribute("number").as_int(1), 1, part.Staves);
          const char* sign = clef.child_value("sign");
          const int line = IntOf(clef, "line", Is(sign, "F") ? 4 : Is(sign, "C") ? 3 : 2);
          int code = 0;
          if (Is(sign, "G") && line == 2) code = 0;
          else if (Is(sign, "F") && line == 4) code = 1;
          else if (Is(sign, "C") && line == 3) code = 2;
          else if (Is(sign, "percussion") || Is(sign, "TAB") || Is(sign, "none")) code = 0;
          else {
            Ignore("其他谱号(以相近谱号代替)");
            code = Is(sign, "F") ? 1 : Is(sign, "C") ? 2 : 0;
          }
          std::vector<NotatedClef>& list = *clefs[number - 1];
          const NotatedClef c{int(index), position, code, std::clamp(IntOf(clef, "clef-octave-change"), -2, 2)};
          if (!list.empty() && list.back().Measure == c.Measure && list.back().Tick == c.Tick) list.back() = c;
          else if (list.empty() || list.back().Clef != c.Clef || list.back().OctaveShift != c.OctaveShift)
            list.push_back(c);
        }
      } else if (Is(name, "backup")) {
        position -= ticks(NumberOf(e, "duration"));
        if (position < 0) position = 0;
        last = nullptr;
      } else if (Is(name, "forward")) {
        position += ticks(NumberOf(e, "duration"));
        longest = std::max(longest, position);
        last = nullptr;
      } else if (Is(name, "note")) {
        const bool grace = e.child("grace");
        const bool inChord = e.child("chord");
        if (!inChord) chordOnset = position;
        const bool chord = inChord && last && last->Start == measureStart + chordOnset && last->Grace == grace;
        const int64_t duration = grace ? 0 : ticks(NumberOf(e, "duration"));
        // A note left out keeps its time.
        auto skip = [&](const char* what) {
          Ignore(what);
          if (!inChord && !grace) position += duration;
          longest = std::max(longest, position);
          last = nullptr;
        };
        if (e.child("cue")) {
          skip("提示音符");
          continue;
        }
        const pugi::xml_node pitch = e.child("pitch");
        const bool rest = e.child("rest");
        if (!pitch && e.child("unpitched")) {
          // Percussion has no stave of its own here, as the MIDI import leaves drums out.
          skip("无音高音符");
          continue;
        }
        if (!pitch && !rest) throw Fail{"a note with neither pitch nor rest"};
        // The head: letter, octave and alteration as written.
        NotatedHead head;
        if (pitch) {
          static const int kSemis[7] = {0, 2, 4, 5, 7, 9, 11};  // C..B
          const char* step = pitch.child_value("step");
          static const char kLetters[] = "CDEFGAB";
          const char* found = std::strlen(step) == 1 && step[0] ? std::strchr(kLetters, step[0]) : nullptr;
          if (!found) throw Fail{"a pitch without a step"};
          const int letter = int(found - kLetters);
          const int octave = std::clamp(IntOf(pitch, "octave", 4), -1, 9);
          head.Alter = std::clamp(int(std::lround(NumberOf(pitch, "alter"))), -2, 2);
          if (std::abs(NumberOf(pitch, "alter") - head.Alter) > 0.01) Ignore("微分音");
          head.Step = 7 * octave + letter;
          // Under an octave line the head stands an octave from its sound.
          if (auto o = octaveOpen.find(staffOf(e)); o != octaveOpen.end()) head.Step += o->second.Below ? 7 : -7;
          head.Key = 12 * (octave + 1) + kSemis[letter] + head.Alter + transpose;
          if (head.Key < 0 || head.Key > 127) {
            skip("超出音域的音符");
            continue;
          }
          if (const pugi::xml_node acc = e.child("accidental")) {
            accidentalsGiven = true;
            head.Accidental = AccidentalMark(acc.child_value());
            if (!head.Accidental) Ignore("其他临时记号");
          }
          for (const pugi::xml_node tie : e.children("tie")) {
            head.TieStart |= Is(tie.attribute("type").value(), "start");
            head.TieStop |= Is(tie.attribute("type").value(), "stop");
          }
          for (const pugi::xml_node tied : e.child("notations").children("tied")) {
            head.TieStart |= Is(tied.attribute("type").value(), "start");
            head.TieStop |= Is(tied.attribute("type").value(), "stop");
          }
        }
        NotatedNote* note = nullptr;
        if (chord && !rest && !last->Rest) {
          last->Heads.push_back(head);
          note = last;
        } else {
          if (int(music.Notes.size()) >= kMaxNotes) throw Fail{"more than 2,000,000 notes"};
          const int64_t onset = inChord ? chordOnset : position;
          const int64_t start = measureStart + onset;
          if (start + duration > kMaxTick) throw Fail{"the music runs beyond the limits"};
          NotatedNote n;
          n.Staff = staffOf(e);
          auto& voiceMap = voices[size_t(n.Staff - part.FirstStaff)];
          const std::string voiceName = e.child_value("voice");
          auto [it, fresh] = voiceMap.try_emplace(voiceName, int(voiceMap.size()));
          if (it->second >= kMaxVoices) {
            if (fresh) Ignore("超出16个的声部(并入最后一个声部)");
            it->second = kMaxVoices - 1;
          }
          n.Voice = it->second;
          n.Start = start;
          n.Grace = grace;
          n.Rest = rest;
          // The written value: the file's type and dots, else what the length shows.
          int code = CodeOfType(e.child_value("type"));
          int dots = 0;
          for (pugi::xml_node d = e.child("dot"); d && dots < 2; d = d.next_sibling("dot")) ++dots;
          if (const pugi::xml_node tm = e.child("time-modification")) {
            const int actual = IntOf(tm, "actual-notes"), normal = IntOf(tm, "normal-notes");
            if (TupletKept(actual, normal)) n.Tuplet = actual;
            else if (actual != normal) Ignore("其他连音");
          }
          const int64_t nominal = int64_t(kTimeBase) * 4 * beats / beatType;
          const bool wholeBar =
              rest && (Is(e.child("rest").attribute("measure").value(), "yes") || (code < 0 && duration >= nominal));
          if (code < 0 && !ValueOfLength(duration, code, dots)) {
            code = 3;
            dots = 0;
          }
          n.Code = code;
          n.Dots = dots;
          n.Ticks = grace ? 0 : ValueTicks(code, dots, n.Tuplet);
          if (wholeBar) {
            n.MeasureRest = true;
            n.Code = 1;
            n.Dots = 0;
            n.Tuplet = 0;
            n.Ticks = duration;
          }
          if (!grace && !wholeBar && n.Ticks != duration) {
            // The position follows the file; the score's own length is the written value's.
            ++report.Ignored["与记写时值不符的时长"];
          }
          const char* stem = e.child_value("stem");
          n.Stem = Is(stem, "up") ? -1 : Is(stem, "down") ? 1 : 0;
          for (const pugi::xml_node beam : e.children("beam"))
            if (beam.attribute("number").as_int(1) == 1) {
              const char* b = beam.child_value();
              n.Beam = Is(b, "begin") ? NotatedBeam::Begin : Is(b, "continue") ? NotatedBeam::Continue
                     : Is(b, "end")   ? NotatedBeam::End   : NotatedBeam::None;
            }
          if (!rest) n.Heads.push_back(head);
          music.Notes.push_back(std::move(n));
          note = &music.Notes.back();
          if (!grace) {
            if (!rest) ++report.Notes;
            if (!inChord) position += duration;
          }
        }
        if (!rest || !chord) last = note;
        longest = std::max(longest, position);
        if (e.child("lyric")) Ignore("歌词");
        for (const pugi::xml_node n : e.children("notations"))
          for (const pugi::xml_node x : n.children()) {
            const char* what = x.name();
            if (Is(what, "slur")) {
              const int number = int(partIndex) * 16 + std::clamp(x.attribute("number").as_int(1), 1, 16);
              if (Is(x.attribute("type").value(), "start")) note->SlurStarts.push_back(number);
              else if (Is(x.attribute("type").value(), "stop")) note->SlurStops.push_back(number);
            } else if (Is(what, "articulations")) {
              for (const pugi::xml_node a : x.children()) {
                const char* art = a.name();
                if (Is(art, "staccato")) note->Marks.push_back(90);
                else if (Is(art, "tenuto")) note->Marks.push_back(88);
                else if (Is(art, "accent")) note->Marks.push_back(93);
                else if (Is(art, "staccatissimo") || Is(art, "spiccato")) note->Marks.push_back(106);
                else if (Is(art, "detached-legato")) note->Marks.push_back(91);
                else Ignore("其他演奏记号");
              }
            } else if (Is(what, "tuplet")) {
              note->TupletStarts |= Is(x.attribute("type").value(), "start");
              note->TupletEnds |= Is(x.attribute("type").value(), "stop");
            } else if (Is(what, "fermata")) {
              note->Marks.push_back(Is(x.attribute("type").value(), "inverted") ? 49 : 48);
            } else if (Is(what, "dynamics")) {
              for (const pugi::xml_node d : x.children()) {
                const std::string word = Is(d.name(), "other-dynamics") ? d.child_value() : d.name();
                AddText(note->Staff, note->Start, word, true, DynamicKind(word));
              }
            } else if (Is(what, "ornaments")) {
              Ignore("装饰记号");
            } else if (Is(what, "technical")) {
              Ignore("技巧记号");
            } else if (Is(what, "arpeggiate") || Is(what, "non-arpeggiate")) {
              Ignore("琶音记号");
            } else if (Is(what, "glissando") || Is(what, "slide")) {
              Ignore("滑音");
            }
          }
      } else if (Is(name, "direction")) {
        const int staff = staffOf(e);
        const bool below = Is(e.attribute("placement").value(), "below");
        const int64_t at = measureStart + position + (e.child("offset") ? ticks(std::max(0.0, NumberOf(e, "offset"))) : 0);
        if (const pugi::xml_node sound = e.child("sound"); sound && sound.attribute("tempo")) {
          const double bpm = sound.attribute("tempo").as_double();
          if (bpm >= 10 && bpm <= 1000) {
            const int32_t tempo = int32_t(60000000.0 / bpm + 0.5);
            if (at == 0) music.Tempo = tempo;
            else if (first) music.TempoChanges.push_back({at, tempo});
          }
        }
        for (const pugi::xml_node type : e.children("direction-type"))
          for (const pugi::xml_node x : type.children()) {
            const char* what = x.name();
            if (Is(what, "dynamics")) {
              for (const pugi::xml_node d : x.children()) {
                const std::string word = Is(d.name(), "other-dynamics") ? d.child_value() : d.name();
                AddText(staff, at, word, !Is(e.attribute("placement").value(), "above"), DynamicKind(word));
              }
            } else if (Is(what, "words")) {
              AddText(staff, at, x.child_value(), below, 0);
            } else if (Is(what, "segno")) {
              AddText(staff, at, "%", false, 83);
            } else if (Is(what, "wedge")) {
              const char* t = x.attribute("type").value();
              const int number = x.attribute("number").as_int(1);
              if (Is(t, "crescendo") || Is(t, "diminuendo")) {
                wedgeOpen[number] = {staff, at, at, Is(t, "crescendo")};
              } else if (Is(t, "stop")) {
                auto open = wedgeOpen.find(number);
                if (open != wedgeOpen.end()) {
                  open->second.End = at;
                  music.Wedges.push_back(open->second);
                  wedgeOpen.erase(open);
                }
              }
            } else if (Is(what, "metronome")) {
              // The tempo itself comes with the sound.
            } else if (Is(what, "coda")) {
              Ignore("尾声记号");
            } else if (Is(what, "pedal")) {
              const char* t = x.attribute("type").value();
              if (Is(t, "stop") || Is(t, "change")) music.Marks.push_back({staff, at, 22, true});
              if (Is(t, "start") || Is(t, "change")) music.Marks.push_back({staff, at, 21, true});
            } else if (Is(what, "octave-shift")) {
              const char* t = x.attribute("type").value();
              if (Is(t, "stop")) {
                auto open = octaveOpen.find(staff);
                if (open != octaveOpen.end()) {
                  open->second.End = at;
                  music.OctaveLines.push_back(open->second);
                  octaveOpen.erase(open);
                }
              } else if ((Is(t, "up") || Is(t, "down")) && x.attribute("size").as_int(8) == 8) {
                octaveOpen[staff] = {staff, at, at, Is(t, "up")};
              } else if (!Is(t, "continue")) {
                Ignore("两个八度以上的八度记号");
              }
            } else if (Is(what, "rehearsal")) {
              Ignore("排练号");
            } else if (!Is(what, "dashes") && !Is(what, "bracket")) {
              Ignore("其他指示记号");
            }
          }
      } else if (Is(name, "harmony")) {
        Ignore("和弦符号");
      } else if (Is(name, "figured-bass")) {
        Ignore("数字低音");
      } else if (Is(name, "barline") && first) {
        const bool right = !Is(e.attribute("location").value(), "left") && !Is(e.attribute("location").value(), "middle");
        NotatedMeasure& m = music.Measures.size() > index ? music.Measures[index] : music.Measures.emplace_back();
        if (right) {
          const char* style = e.child_value("bar-style");
          if (Is(style, "light-light")) m.BarLine = 5;
          else if (Is(style, "light-heavy")) m.BarLine = 9;
          else if (Is(style, "heavy-light")) m.BarLine = 6;
        }
        if (const pugi::xml_node repeat = e.child("repeat")) {
          if (Is(repeat.attribute("direction").value(), "backward")) m.BarLine = 41;
          else if (index > 0 && music.Measures[index - 1].BarLine == 41) Ignore("反复开始记号(紧接反复结束)");
          else if (index > 0) music.Measures[index - 1].BarLine = 166;  // the bar line before opens it
        }
        if (const pugi::xml_node ending = e.child("ending")) {
          const int number = std::clamp(std::atoi(ending.attribute("number").value()), 1, 99);
          const char* t = ending.attribute("type").value();
          if (Is(t, "start")) {
            m.EndingNumber = number;
            m.EndingBegins = true;
          } else if (Is(t, "stop") || Is(t, "discontinue")) {
            m.EndingNumber = number;
            m.EndingEnds = true;
            m.EndingClosed = Is(t, "stop");
          }
        }
      }
    }
    if (first) {
      if (music.Measures.size() <= index) music.Measures.emplace_back();
      NotatedMeasure& m = music.Measures[index];
      m.Numerator = beats;
      m.Denominator = beatType;
      m.Fifths = fifths;
      // A measure lasts its time signature unless its music says otherwise
      // (a pickup, an overfull bar): then it gets a meter of its own length.
      const int64_t nominal = int64_t(kTimeBase) * 4 * beats / beatType;
      if (longest > 0 && longest != nominal) {
        int num = 0, den = 0;
        if (MeterOfLength(longest, beatType, num, den)) {
          m.Numerator = num;
          m.Denominator = den;
        } else {
          Ignore("无法表示长度的小节");
        }
      }
      const int64_t length = MeasureTicks(kTimeBase, m.Numerator, m.Denominator);
      measureStarts.push_back(measureStart);
      measureLengths.push_back(length);
      ++report.Measures;
      measureStart += length;
      if (measureStart > kMaxTick) throw Fail{"the music runs beyond the limits"};
      if (report.Measures > kRecorderMaxMeasures) throw Fail{"more than 20,000 measures"};
    }
    ++index;
  }
  for (size_t i = 0; i < wedgeOpen.size(); ++i) Ignore("未结束的渐强渐弱记号");
  // An octave line the file leaves open runs to the part's end.
  for (auto& [staff, line] : octaveOpen) {
    line.End = kMaxTick;
    music.OctaveLines.push_back(line);
  }
}

// Accidentals as the key and the measure's earlier heads make them, for
// files that do not say which heads show one.
void DeriveAccidentals(NotatedScore& music, const std::vector<int64_t>& starts) {
  static const int kSharpOrder[7] = {3, 0, 4, 1, 5, 2, 6};  // F C G D A E B as letters C = 0
  std::vector<NotatedNote*> order;
  for (NotatedNote& n : music.Notes)
    if (!n.Rest) order.push_back(&n);
  std::stable_sort(order.begin(), order.end(), [](const NotatedNote* a, const NotatedNote* b) {
    return std::tie(a->Staff, a->Start) < std::tie(b->Staff, b->Start);
  });
  std::map<int, int> shown;  // step -> alteration in force
  int staff = -1;
  size_t measure = SIZE_MAX;
  for (NotatedNote* n : order) {
    const size_t k = size_t(std::upper_bound(starts.begin(), starts.end(), n->Start) - starts.begin()) - 1;
    if (n->Staff != staff || k != measure) shown.clear();
    staff = n->Staff;
    measure = k;
    int fifths = music.Measures[std::min(k, music.Measures.size() - 1)].Fifths;
    const auto& keys = music.Staves[size_t(n->Staff)].Keys;
    if (!keys.empty()) {
      auto key = std::upper_bound(keys.begin(), keys.end(), k,
                                  [](size_t measure, const std::pair<int, int>& kk) { return int64_t(measure) < kk.first; });
      fifths = key == keys.begin() ? 0 : (key - 1)->second;
    }
    for (NotatedHead& h : n->Heads) {
      int inKey = 0;
      for (int i = 0; i < std::abs(fifths); ++i)
        if (kSharpOrder[fifths > 0 ? i : 6 - i] == h.Step % 7) inKey = fifths > 0 ? 1 : -1;
      auto [it, fresh] = shown.try_emplace(h.Step, inKey);
      if (h.TieStop || it->second == h.Alter) continue;
      it->second = h.Alter;
      static const int kMarks[5] = {7, 1, 3, 2, 8};  // alteration -2..2
      h.Accidental = kMarks[h.Alter + 2];
    }
  }
}

}  // namespace

std::string MusicXmlImportReport::IgnoredText() const {
  if (Ignored.empty()) return {};
  std::string out = "已忽略: ";
  bool firstItem = true;
  for (const auto& [what, count] : Ignored) {
    if (!firstItem) out += ", ";
    out += std::to_string(count) + " 个" + what;
    firstItem = false;
  }
  return out;
}

bool ReadMusicXml(const std::string& bytes, NotatedScore& music, MusicXmlImportReport& report,
                  std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    music = NotatedScore{};
    return false;
  };
  music = NotatedScore{};
  std::string xml = bytes;
  if (bytes.size() >= 4 && bytes.compare(0, 4, "PK\x03\x04", 4) == 0) {
    // The compressed container: the root file named by its container entry,
    // else the first MusicXML file in it.
    ZipReader zip;
    if (!zip.Open(bytes, error)) return false;
    std::string container, root;
    if (zip.Extract("META-INF/container.xml", container, kMaxXmlBytes, nullptr)) {
      pugi::xml_document c;
      if (c.load_buffer(container.data(), container.size()))
        root = c.child("container").child("rootfiles").child("rootfile").attribute("full-path").value();
    }
    if (root.empty())
      for (const std::string& name : zip.Names())
        if (name.find("META-INF/") != 0 && (name.ends_with(".xml") || name.ends_with(".musicxml"))) {
          root = name;
          break;
        }
    if (root.empty()) return fail("the compressed file holds no MusicXML score");
    if (!zip.Extract(root, xml, kMaxXmlBytes, error)) return false;
  }
  if (xml.size() > kMaxXmlBytes) return fail("the score is larger than 256 MB");

  // pugixml reads no document type definitions, so entities a file declares
  // expand to nothing and cannot multiply.
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size(), pugi::parse_default);
  if (!parsed) return fail(std::string("not well-formed XML: ") + parsed.description() + " at byte " +
                           std::to_string(parsed.offset));
  const pugi::xml_node partwise = doc.child("score-partwise");
  const pugi::xml_node timewise = doc.child("score-timewise");
  const pugi::xml_node root = partwise ? partwise : timewise;
  if (!root) return fail("not a MusicXML score (no score-partwise or score-timewise)");

  // Parts in the order of the part list, each with its measures in order.
  std::vector<std::string> order;
  for (const pugi::xml_node p : root.child("part-list").children("score-part")) order.push_back(p.attribute("id").value());
  std::map<std::string, std::vector<pugi::xml_node>> measures;
  if (partwise) {
    for (const pugi::xml_node p : root.children("part")) {
      const std::string id = p.attribute("id").value();
      if (std::find(order.begin(), order.end(), id) == order.end()) order.push_back(id);
      for (const pugi::xml_node m : p.children("measure")) measures[id].push_back(m);
    }
  } else {
    for (const pugi::xml_node m : root.children("measure"))
      for (const pugi::xml_node p : m.children("part")) {
        const std::string id = p.attribute("id").value();
        if (std::find(order.begin(), order.end(), id) == order.end()) order.push_back(id);
        measures[id].push_back(p);
      }
  }
  if (measures.empty()) return fail("the score has no measures");

  report = MusicXmlImportReport{};
  report.Title = root.child("work").child_value("work-title");
  if (report.Title.empty()) report.Title = root.child_value("movement-title");
  for (const pugi::xml_node c : root.child("identification").children("creator"))
    if (std::strcmp(c.attribute("type").value(), "composer") == 0) report.Composer = c.child_value();
    else if (*c.child_value()) ++report.Ignored["其他作者信息"];
  // Page texts other than the title and composer, and the parts' names, have no place.
  for (const pugi::xml_node credit : root.children("credit"))
    for (const pugi::xml_node words : credit.children("credit-words")) {
      const std::string text = words.child_value();
      if (!text.empty() && text != report.Title && text != report.Composer) ++report.Ignored["页面文字"];
    }
  for (const pugi::xml_node p : root.child("part-list").children("score-part"))
    if (*p.child_value("part-name")) ++report.Ignored["声部名称"];

  music.TimeBase = kTimeBase;
  Reader reader{music, report, {}, {}, false};
  try {
    // Staves: each part's own (<staves>, or the highest <staff> its notes name).
    std::vector<PartInfo> parts;
    int staves = 0;
    for (const std::string& id : order) {
      auto it = measures.find(id);
      if (it == measures.end()) continue;
      int count = 1;
      for (const pugi::xml_node& m : it->second) {
        for (const pugi::xml_node a : m.children("attributes")) count = std::max(count, IntOf(a, "staves", 1));
        for (const pugi::xml_node n : m.children("note")) count = std::max(count, IntOf(n, "staff", 1));
        if (count > kMaxStaves) break;
      }
      if (staves + count > kMaxStaves) throw Fail{"too many staves (more than 64)"};
      parts.push_back({id, staves, count});
      // A channel per part, the drum channel left free.
      int channel = int(parts.size() - 1) % 15;
      if (channel >= 9) ++channel;
      int patch = 255;
      for (const pugi::xml_node p : root.child("part-list").children("score-part"))
        if (id == p.attribute("id").value()) {
          const int program = IntOf(p.child("midi-instrument"), "midi-program", 0);
          if (program >= 1 && program <= 128) patch = program - 1;
        }
      for (int s = 0; s < count; ++s) {
        NotatedStaff staff;
        staff.Channel = channel;
        staff.Patch = patch;
        staff.BracedToNext = s + 1 < count;
        music.Staves.push_back(staff);
      }
      staves += count;
    }
    for (size_t p = 0; p < parts.size(); ++p) {
      reader.ReadPart(parts[p], p, measures.find(parts[p].Id)->second, p == 0);
      ++report.Parts;
    }
    report.Staves = staves;
    // Every stave opens with a clef (treble unless the file names one); clefs
    // by time, whatever order the file's backups gave them.
    for (NotatedStaff& s : music.Staves) {
      std::stable_sort(s.Clefs.begin(), s.Clefs.end(), [](const NotatedClef& a, const NotatedClef& b) {
        return std::tie(a.Measure, a.Tick) < std::tie(b.Measure, b.Tick);
      });
      if (s.Clefs.empty() || s.Clefs.front().Measure != 0 || s.Clefs.front().Tick != 0)
        s.Clefs.insert(s.Clefs.begin(), NotatedClef{});
    }
    if (music.Measures.empty()) throw Fail{"the score has no measures"};
    // Music the file places past its last measure has no measure to stand in.
    const int64_t end = reader.measureStarts.back() + reader.measureLengths.back();
    const size_t before = music.Notes.size();
    std::erase_if(music.Notes, [end](const NotatedNote& n) { return n.Start >= end; });
    if (music.Notes.size() < before) report.Ignored["最后一小节之后的音符"] += int(before - music.Notes.size());
    // A stave left with nothing but rests (a percussion part) rests a measure at a time.
    std::vector<bool> sounds(music.Staves.size(), false);
    for (const NotatedNote& n : music.Notes)
      if (!n.Rest) sounds[size_t(n.Staff)] = true;
    std::erase_if(music.Notes, [&sounds](const NotatedNote& n) { return n.Rest && !sounds[size_t(n.Staff)]; });
    if (!reader.accidentalsGiven) DeriveAccidentals(music, reader.measureStarts);
  } catch (const Fail& f) {
    return fail(f.why);
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  }
  return true;
}

bool ImportMusicXmlFile(const std::string& path, CScore& score, MusicXmlImportReport& report, std::string* error) {
  std::string bytes;
  if (!qx::ReadWholeFile(path, bytes, error, kMaxXmlBytes)) return false;
  NotatedScore music;
  if (!ReadMusicXml(bytes, music, report, error)) return false;
  PrepareImportScore(score);
  PlaceNotatedScore(score, music);
  // Title and composer above the music, which moves down to make room.
  if ((!report.Title.empty() || !report.Composer.empty()) && !score.Staffs.empty()) {
    constexpr int kRoom = 70;
    for (CStaff* s : score.Staffs) s->MoveTo(s->Left, s->Top + kRoom);
    const size_t titleFont = score.Fonts.size();
    LogFont title = LogFont::PointFont(200, "Times New Roman");
    title.Weight = 700;
    score.Fonts.push_back(title);
    score.Fonts.push_back(LogFont::PointFont(115, "Times New Roman"));
    CStave* top = score.Staffs.front()->Staves.empty() ? nullptr : score.Staffs.front()->Staves.front();
    CMeasure* first = score.Staffs.front()->Measures.empty() ? nullptr : score.Staffs.front()->Measures.front();
    auto add = [&](const std::string& utf8, size_t font, bool right, int y) {
      auto text = std::make_unique<CXText>();
      if (!qx::Utf8ToGbk(utf8, text->text)) text->text = utf8;
      text->Font = int8_t(font);
      const int pixels = std::abs(score.Fonts[font].Height);
      const int width = int(utf8.size()) * pixels / 2 + 8;
      const int pageRight = score.PaperWidth - score.PageRightMargin;
      const int left = right ? pageRight - width : (score.LeftMargin + pageRight - width) / 2;
      text->SetBounds(left, y, left + width, y + pixels * 3 / 2);
      if (top && first) score.AddAttachedObject(top, first, std::move(text));
      else score.AddObject(std::move(text));
    };
    if (!report.Title.empty()) add(report.Title, titleFont, false, score.TopMargin);
    if (!report.Composer.empty()) add(report.Composer, titleFont + 1, true, score.TopMargin + 36);
  }
  score.AfterLoad();
  return true;
}
