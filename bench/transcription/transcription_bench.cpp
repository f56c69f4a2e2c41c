// How well the MIDI import writes music: each passage in passages/ was
// written in LilyPond (NAME.ly), which produced the MIDI file (NAME.mid) and
// the written notes of each stave (NAME-upper.notes, NAME-lower.notes; see
// make_passages.sh). The bench imports every MIDI file and compares:
//   pitch+onset  written notes found at their onset with their pitch
//   written      ... also with the written value, dots, tuplet and tie
//   ties         written ties shown: tie chain and an arc between the heads
//   chords       written chords (one stave, one onset, one value) on one stem
//   staff        found notes on the stave they were written on
//   rests        written rests found at their onset with their value
//   key          the key signature estimated with the file's key events removed
//   measures     no measures past the music, and a final bar line
// Usage: quavix_transcription_bench [passages folder]
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "editing/recorder.h"
#include "model/score.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"

namespace fs = std::filesystem;

namespace {

struct Written {
  int Staff = 0;
  int64_t Onset = 0;  // ticks
  int64_t Length = 0;
  int Key = -1;       // -1 for a rest
  int Code = 0, Dots = 0, Tuplet = 0;
  bool Tie = false;
};

// "8*2/3", "4.", "16" -> code, dots, tuplet.
void ParseDuration(const std::string& text, Written& w) {
  size_t i = 0;
  int den = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) den = den * 10 + (text[i++] - '0');
  w.Code = den > 0 ? int(std::lround(std::log2(den))) + 1 : 0;
  while (i < text.size() && text[i] == '.') {
    ++w.Dots;
    ++i;
  }
  if (text.compare(i, 5, "*2/3") == 0) w.Tuplet = 3;
}

std::vector<Written> ReadNotes(const fs::path& path, int staff, int timeBase) {
  std::vector<Written> out;
  std::ifstream in(path);
  std::string line;
  std::set<int64_t> tied;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    double moment = 0;
    std::string type;
    fields >> moment >> type;
    const int64_t onset = std::llround(moment * 4 * timeBase);
    if (type == "tie") {
      tied.insert(onset);
      continue;
    }
    if (type != "note" && type != "rest") continue;
    Written w;
    w.Staff = staff;
    w.Onset = onset;
    std::string duration;
    double length = 0;
    if (type == "note") fields >> w.Key;
    fields >> duration >> length;
    w.Length = std::llround(length * 4 * timeBase);
    ParseDuration(duration, w);
    out.push_back(w);
  }
  for (Written& w : out) w.Tie = w.Key >= 0 && tied.count(w.Onset);
  return out;
}

int ExpectedKey(const fs::path& ly, bool& known) {
  std::ifstream in(ly);
  std::string line;
  std::getline(in, line);
  known = line.rfind("% key: ", 0) == 0;
  return known ? std::atoi(line.c_str() + 7) : 0;
}

struct Share {
  int Hit = 0, Of = 0;
  void Add(bool hit) {
    ++Of;
    Hit += hit;
  }
  void Add(const Share& s) {
    Hit += s.Hit;
    Of += s.Of;
  }
  std::string Text() const {
    if (Of == 0) return "    -   ";
    char b[32];
    std::snprintf(b, sizeof b, "%5.1f%%%s", 100.0 * Hit / Of, Hit == Of ? "  " : " *");
    return b;
  }
};

struct Result {
  Share PitchOnset, WrittenForm, Ties, Chords, Staff, Rests, Key, Measures;
  int Extra = 0;
};

int StaffOf(const CNote* n) {
  const CStave* stave = n->OwnerStave;
  if (!stave || !stave->OwnerStaff) return 0;
  const auto& staves = stave->OwnerStaff->Staves;
  return staves.size() > 1 && staves[1] == stave ? 1 : 0;
}

bool Import(const CMidiSequence& seq, CScore& score, CRecorder& recorder) {
  PrepareImportScore(score);
  ApplyImportSettings(recorder, MidiImportSettings{});
  return ImportSequence(recorder, seq) == 1;
}

// Played, not engraved: every note-on and note-off moved by up to
// `spread` ticks either way (a fixed pseudo-random sequence), the order kept.
void Humanise(CMidiSequence& seq, int spread) {
  if (spread <= 0) return;
  uint32_t state = 12345;
  for (MidiEventRec& e : seq.Events) {
    if (e.IsMeta() || !(e.IsNoteOn() || e.IsNoteOff())) continue;
    state = state * 1103515245u + 12345u;
    const int shift = int((state >> 16) % uint32_t(2 * spread + 1)) - spread;
    e.Tick = std::max(0, e.Tick + shift);
  }
  std::stable_sort(seq.Events.begin(), seq.Events.end(),
                   [](const MidiEventRec& a, const MidiEventRec& b) { return a.Tick < b.Tick; });
}

Result Compare(const fs::path& ly, int spread) {
  Result result;
  const fs::path dir = ly.parent_path();
  const std::string name = ly.stem().string();
  CMidiSequence seq;
  std::string problem;
  if (ReadMidiFile(seq, (dir / (name + ".mid")).string(), &problem) != 1) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), problem.c_str());
    return result;
  }
  Humanise(seq, spread * seq.Division / 96);
  CScore score;
  CRecorder recorder(score);
  if (!Import(seq, score, recorder)) return result;
  const int timeBase = score.TimeBase;
  std::vector<Written> truth = ReadNotes(dir / (name + "-upper.notes"), 0, timeBase);
  for (const Written& w : ReadNotes(dir / (name + "-lower.notes"), 1, timeBase)) truth.push_back(w);

  std::map<std::pair<int64_t, int>, CNote*> notes;  // (onset, key)
  std::vector<CRest*> rests;
  std::vector<CSlurLine*> arcs;
  std::map<int32_t, std::vector<CNote*>> chains;
  for (const auto& up : score.Objects()) {
    if (auto* r = As<CRest>(up.get()); r && r->KindCode() == Kind::Rest) rests.push_back(r);
    else if (auto* n = As<CNote>(up.get()); n && n->KindCode() == Kind::Note) {
      notes[{n->Start, n->Key}] = n;
      if (n->Tie >= 0) chains[n->Tie].push_back(n);
    } else if (auto* s = As<CSlurLine>(up.get()); s && s->KindCode() == Kind::Slur) {
      arcs.push_back(s);
    }
  }
  auto tiedTo = [&](const CNote* n) -> CNote* {
    if (n->Tie < 0) return nullptr;
    for (CNote* m : chains[n->Tie])
      if (m != n && m->Key == n->Key && m->Start == n->Start + n->Ticks) return m;
    return nullptr;
  };
  // An arc from head to head; across a system break, one leaving the first
  // head and one reaching the second.
  auto arcBetween = [&](const CNote* a, const CNote* b) {
    auto near = [](int u, int v) { return std::abs(u - v) <= 6; };
    bool from = false, to = false, both = false;
    for (const CSlurLine* s : arcs) {
      if (s->OwnerStave == a->OwnerStave && near(s->X, a->X + 9) && std::abs(s->Y - a->Y) <= 16) {
        from = true;
        if (near(s->X1, b->X + 1)) both = true;
      }
      if (s->OwnerStave == b->OwnerStave && near(s->X1, b->X + 1) && std::abs(s->Y1 - b->Y) <= 16) to = true;
    }
    return a->OwnerStave->OwnerStaff == b->OwnerStave->OwnerStaff ? both : from && to;
  };
  auto dotsOf = [](const CNote* n) { return (n->Style & NTS_DOUBLE_DOTTED) ? 2 : (n->Style & NTS_DOTTED) ? 1 : 0; };

  std::set<const CNote*> found;
  std::map<std::tuple<int, int64_t, int64_t>, std::vector<const Written*>> chordsOf;
  for (const Written& w : truth) {
    if (w.Key < 0) continue;
    auto it = notes.find({w.Onset, w.Key});
    const CNote* n = it != notes.end() ? it->second : nullptr;
    result.PitchOnset.Add(n != nullptr);
    chordsOf[{w.Staff, w.Onset, w.Length}].push_back(&w);
    if (!n) {
      result.WrittenForm.Add(false);
      if (w.Tie) result.Ties.Add(false);
      continue;
    }
    found.insert(n);
    const CNote* next = tiedTo(n);
    const bool same = n->DurationCode() == w.Code && dotsOf(n) == w.Dots && n->TupletCount() == w.Tuplet &&
                      (next != nullptr) == w.Tie;
    result.WrittenForm.Add(same);
    if (!same && std::getenv("QUAVIX_BENCH_VERBOSE"))
      std::fprintf(stderr, "%s: at %lld key %d written %d/%d/%d%s, imported %d/%d/%d%s\n", name.c_str(), (long long)w.Onset,
                   w.Key, w.Code, w.Dots, w.Tuplet, w.Tie ? " tied" : "", n->DurationCode(), dotsOf(n), n->TupletCount(),
                   next ? " tied" : "");
    if (w.Tie) result.Ties.Add(next && arcBetween(n, next));
    result.Staff.Add(StaffOf(n) == w.Staff);
  }
  for (const auto& [at, group] : chordsOf) {
    if (group.size() < 2) continue;
    std::set<int32_t> ids;
    bool all = true;
    for (const Written* w : group) {
      auto it = notes.find({w->Onset, w->Key});
      if (it == notes.end() || it->second->Chord < 0) all = false;
      else ids.insert(it->second->Chord);
    }
    result.Chords.Add(all && ids.size() == 1);
  }
  for (const auto& [at, n] : notes)
    if (!found.count(n)) {
      ++result.Extra;
      if (std::getenv("QUAVIX_BENCH_VERBOSE"))
        std::fprintf(stderr, "%s: extra note at %d key %d value %d\n", name.c_str(), n->Start, n->Key, n->DurationCode());
    }
  for (const Written& w : truth) {
    if (w.Key >= 0) continue;
    bool hit = false;
    for (const CRest* r : rests) {
      if (r->Start != w.Onset || StaffOf(r) != w.Staff) continue;
      const bool wholeMeasure = r->DurationCode() == 1 && r->OwnerMeasure && r->OwnerMeasure->Ticks == w.Length;
      hit = wholeMeasure || (r->DurationCode() == w.Code && dotsOf(r) == w.Dots);
    }
    result.Rests.Add(hit);
  }
  // Measures: as many as the music fills, the last with a final bar line.
  int64_t end = 0;
  for (const Written& w : truth) end = std::max(end, w.Onset + w.Length);
  int64_t measures = 0, ticks = 0;
  const CMeasure* last = nullptr;
  for (const CStaff* system : score.Staffs)
    for (const CMeasure* m : system->Measures) {
      ++measures;
      ticks += m->Ticks;
      last = m;
    }
  result.Measures.Add(ticks == end && last && last->Value == 9);

  // The key, estimated from the pitches once the file's key events are gone.
  bool known = false;
  const int expected = ExpectedKey(ly, known);
  if (known) {
    CMidiSequence stripped;
    ReadMidiFile(stripped, (dir / (name + ".mid")).string(), nullptr);
    Humanise(stripped, spread * stripped.Division / 96);
    std::erase_if(stripped.Events, [](const MidiEventRec& e) { return e.IsMeta() && e.Data1 == META_KEY_SIGNATURE; });
    CScore other;
    CRecorder r2(other);
    Import(stripped, other, r2);
    const int32_t code = r2.Keys.empty() ? 0 : r2.Keys.front().second;
    const int sharps = code > 272 ? -(code - 272) : code > 256 ? code - 256 : 0;
    result.Key.Add(r2.KeyEstimated && sharps == expected);
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path(QUAVIX_PASSAGES_DIR);
  std::vector<fs::path> sources;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".ly") sources.push_back(e.path());
  std::sort(sources.begin(), sources.end());
  // As engraved, then as played: onsets and releases off by up to 3/96
  // and 6/96 of a quarter.
  for (int spread : {0, 3, 6}) {
    if (spread) std::printf("\nplayed: note-ons and note-offs moved by up to %d/96 of a quarter\n", spread);
    std::printf("%-20s %8s %8s %8s %8s %8s %8s %8s %8s %5s\n", "passage", "pitch+on", "written", "ties", "chords", "staff",
                "rests", "key", "measures", "extra");
    Result total;
    for (const fs::path& ly : sources) {
      const Result r = Compare(ly, spread);
      if (!spread || std::getenv("QUAVIX_BENCH_VERBOSE"))
        std::printf("%-20s %8s %8s %8s %8s %8s %8s %8s %8s %5d\n", ly.stem().string().c_str(), r.PitchOnset.Text().c_str(),
                    r.WrittenForm.Text().c_str(), r.Ties.Text().c_str(), r.Chords.Text().c_str(), r.Staff.Text().c_str(),
                    r.Rests.Text().c_str(), r.Key.Text().c_str(), r.Measures.Text().c_str(), r.Extra);
      total.PitchOnset.Add(r.PitchOnset);
      total.WrittenForm.Add(r.WrittenForm);
      total.Ties.Add(r.Ties);
      total.Chords.Add(r.Chords);
      total.Staff.Add(r.Staff);
      total.Rests.Add(r.Rests);
      total.Key.Add(r.Key);
      total.Measures.Add(r.Measures);
      total.Extra += r.Extra;
    }
    std::printf("%-20s %8s %8s %8s %8s %8s %8s %8s %8s %5d\n", "all", total.PitchOnset.Text().c_str(),
                total.WrittenForm.Text().c_str(), total.Ties.Text().c_str(), total.Chords.Text().c_str(),
                total.Staff.Text().c_str(), total.Rests.Text().c_str(), total.Key.Text().c_str(),
                total.Measures.Text().c_str(), total.Extra);
  }
  return 0;
}
