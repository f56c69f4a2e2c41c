// MusicXML written by another program (tests/data/musicxml/, see the README
// there): each file is MuseScore 3's notation of a transcription passage.
// Our import of it must sound the passage's notes: every note (tied notes
// joined) at its onset with its pitch and length, as LilyPond's answer file
// gives them. Known differences are listed with their reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "exchange/musicxml/musicxml_import.h"
#include "model/notes.h"
#include "model/score.h"

namespace {

struct Sound {
  int64_t Onset = 0;  // ticks at the score's time base
  int Key = 0;
  int64_t Length = 0;
  bool operator<(const Sound& o) const { return std::tie(Onset, Key, Length) < std::tie(o.Onset, o.Key, o.Length); }
};

// A passage's answer files (one per named staff): "onset note key value
// length" lines in whole notes, and "onset tie" after a note tied to the
// next of its key.
std::vector<Sound> Answer(const std::string& name, int timeBase) {
  std::vector<Sound> out;
  for (const char* staff : {"upper", "lower"}) {
    std::ifstream in(std::string(QUAVIX_PASSAGES_DIR) + "/" + name + "-" + staff + ".notes");
    std::map<int, size_t> tied;  // key -> the note a tie continues
    size_t last = SIZE_MAX;
    for (std::string line; std::getline(in, line);) {
      std::istringstream cols(line);
      double onset = 0, length = 0;
      std::string kind, value;
      int key = 0;
      cols >> onset >> kind;
      const auto ticks = [&](double whole) { return int64_t(std::llround(whole * 4 * timeBase)); };
      if (kind == "tie" && last != SIZE_MAX) tied[out[last].Key] = last;
      if (kind != "note" || !(cols >> key >> value >> length)) continue;
      if (auto it = tied.find(key); it != tied.end() && out[it->second].Onset + out[it->second].Length == ticks(onset)) {
        out[it->second].Length += ticks(length);
        last = it->second;
        tied.erase(it);
        continue;
      }
      out.push_back({ticks(onset), key, ticks(length)});
      last = out.size() - 1;
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The notes a score sounds: tie chains joined, grace notes left out.
std::vector<Sound> Sounding(const CScore& score) {
  std::map<int32_t, Sound> chains;
  std::vector<Sound> out;
  for (const auto& up : score.Objects()) {
    const auto* n = As<CNote>(up.get());
    if (!n || n->KindCode() != Kind::Note || (n->Style & NTS_GRACE)) continue;
    if (n->Tie < 0) {
      out.push_back({n->Start, n->Key, n->Ticks});
      continue;
    }
    auto [it, fresh] = chains.try_emplace(n->Tie, Sound{n->Start, n->Key, 0});
    it->second.Onset = std::min<int64_t>(it->second.Onset, n->Start);
    it->second.Length += n->Ticks;
  }
  for (const auto& [tie, s] : chains) out.push_back(s);
  std::sort(out.begin(), out.end());
  return out;
}

std::string Show(const Sound& s, int timeBase) {
  std::ostringstream o;
  o << "key " << s.Key << " at " << double(s.Onset) / timeBase << " for " << double(s.Length) / timeBase << " quarters";
  return o.str();
}

// Notes the file itself does not hold as the passage has them: onset in
// quarters, key, and why.
struct Known {
  const char* Passage;
  double Onset;
  int Key;
  const char* Reason;
};
const Known kKnown[] = {
    {"rests_and_ends", 12.0, 72, "MuseScore's MIDI import wrote the last note (an eighth) as a quarter"},
};

TEST(MusicXmlPeerFiles, MuseScoreFilesSoundThePassagesNotes) {
  const char* names[] = {"chords",     "compound_12_8",  "compound_6_8", "dotted_f_major",   "drums_and_melody",
                         "low_bass",   "minor_accidentals", "piano_split", "rests_and_ends", "sixteenths",
                         "syncopation_2_4", "ties_bars", "triplets",     "two_voices",       "waltz_3_4"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    CScore score;
    MusicXmlImportReport report;
    std::string error;
    ASSERT_TRUE(ImportMusicXmlFile(std::string(QUAVIX_MUSICXML_DATA_DIR) + "/musescore-" + name + ".musicxml", score, report,
                                   &error))
        << error;
    const int timeBase = std::max(1, score.TimeBase);
    std::vector<Sound> expected = Answer(name, timeBase), read = Sounding(score);
    ASSERT_FALSE(expected.empty());
    // Known differences leave both lists, and must still be differences.
    for (const Known& k : kKnown) {
      if (std::string(k.Passage) != name) continue;
      const int64_t at = std::llround(k.Onset * timeBase);
      auto match = [&](const Sound& s) { return s.Onset == at && s.Key == k.Key; };
      auto e = std::find_if(expected.begin(), expected.end(), match);
      auto r = std::find_if(read.begin(), read.end(), match);
      ASSERT_TRUE(e != expected.end() && r != read.end()) << "stale known difference: " << k.Reason;
      EXPECT_NE(e->Length, r->Length) << "no longer differs: " << k.Reason;
      expected.erase(e);
      read.erase(r);
    }
    std::vector<Sound> missing, extra;
    std::set_difference(expected.begin(), expected.end(), read.begin(), read.end(), std::back_inserter(missing));
    std::set_difference(read.begin(), read.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    for (size_t i = 0; i < missing.size() && i < 4; ++i) ADD_FAILURE() << "missing " << Show(missing[i], timeBase);
    for (size_t i = 0; i < extra.size() && i < 4; ++i) ADD_FAILURE() << "extra " << Show(extra[i], timeBase);
    EXPECT_EQ(missing.size() + extra.size(), 0u) << expected.size() << " notes in the passage";
  }
}

}  // namespace
