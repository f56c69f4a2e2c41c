// MusicXML export read back as another program reads it: every note's
// sounding pitch (from step, alter and octave) and onset (from the measure's
// start and the running position with backups and forwards) equal the
// score's own.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <tuple>
#include <vector>

#include "common/file_util.h"
#include "editing/command_table.h"
#include "exchange/musicxml/musicxml_export.h"
#include "exchange/musicxml/musicxml_import.h"
#include "editing/notated_import.h"
#include "editing/recorder.h"
#include "model/page_objects.h"
#include "performance/measure_order.h"
#include "performance/midi_sequence.h"
#include "exchange/musicxml/zip_writer.h"
#include "model/notes.h"
#include "model/score.h"
#include "model/score_open.h"
#include "model/structure.h"
#include "tools/demo/demo_score.h"
#include "tools/scoregen/scoregen.h"

namespace {

struct ReadNote {
  int Staff, Pitch;
  int64_t Onset;
  bool operator<(const ReadNote& o) const { return std::tie(Staff, Onset, Pitch) < std::tie(o.Staff, o.Onset, o.Pitch); }
  bool operator==(const ReadNote& o) const = default;
};

int Number(const std::string& line, const char* tag) {
  std::smatch m;
  const std::regex r(std::string("<") + tag + ">(-?[0-9]+)</" + tag + ">");
  return std::regex_search(line, m, r) ? std::stoi(m[1]) : 0;
}

// The writer puts each note, backup and forward on a line of its own.
std::vector<ReadNote> ReadBack(const std::string& xml, int& parts, std::vector<std::string>& errors) {
  std::vector<ReadNote> notes;
  std::istringstream in(xml);
  std::string line;
  int64_t measureStart = 0, measureLength = 0, position = 0, lastOnset = 0;
  int staffBase = 0, stavesInPart = 1;
  parts = 0;
  std::map<std::string, int> steps = {{"C", 0}, {"D", 2}, {"E", 4}, {"F", 5}, {"G", 7}, {"A", 9}, {"B", 11}};
  while (std::getline(in, line)) {
    if (line.find("<part id=") != std::string::npos) {
      staffBase += stavesInPart * (parts > 0);
      ++parts;
      measureStart = measureLength = position = 0;
      stavesInPart = 1;
    }
    if (line.find("<staves>") != std::string::npos) stavesInPart = Number(line, "staves");
    if (line.find("<measure ") != std::string::npos) {
      measureStart += measureLength;
      measureLength = position = 0;
    }
    if (line.find("<backup>") != std::string::npos) position -= Number(line, "duration");
    if (line.find("<forward>") != std::string::npos) position += Number(line, "duration");
    measureLength = std::max(measureLength, position);
    if (line.find("<note>") == std::string::npos) continue;
    const bool chord = line.find("<chord/>") != std::string::npos;
    const bool grace = line.find("<grace") != std::string::npos;
    const int duration = Number(line, "duration");
    const int64_t onset = chord ? lastOnset : measureStart + position;
    if (line.find("<pitch>") != std::string::npos) {
      std::smatch m;
      if (!std::regex_search(line, m, std::regex("<step>([A-G])</step>"))) errors.push_back("no step: " + line);
      const int pitch = steps[m[1]] + Number(line, "alter") + 12 * (Number(line, "octave") + 1);
      if (!grace) notes.push_back({staffBase + std::max(1, Number(line, "staff")), pitch, onset});
    }
    if (!chord && !grace) {
      lastOnset = onset;
      position += duration;
    }
    measureLength = std::max(measureLength, position);
  }
  return notes;
}

TEST(MusicXmlExport, EveryNoteReadsBackWithItsPitchAndOnset) {
  CScore score;
  WorkloadOptions o;
  o.Systems = 6;
  o.StavesPerSystem = 3;
  o.MeasuresPerSystem = 4;
  o.NotesPerStaffMeasure = 6;
  o.DynamicsTexts = 10;
  o.Hairpins = 4;
  GenerateWorkload(score, o);
  score.AfterLoad();

  MusicXmlExportStats stats;
  const std::string xml = ExportMusicXml(score, &stats);
  int parts = 0;
  std::vector<std::string> errors;
  std::vector<ReadNote> read = ReadBack(xml, parts, errors);
  EXPECT_TRUE(errors.empty()) << errors.front();
  EXPECT_EQ(stats.Measures, 24);

  // The score's notes by stave index in the system, sounding key and start.
  std::vector<ReadNote> expected;
  for (const CStaff* system : score.Staffs)
    for (size_t s = 0; s < system->Staves.size(); ++s)
      for (const CStaveObject* o2 : system->Staves[s]->Attached)
        if (o2->KindCode() == Kind::Note && !(o2->Style & NTS_GRACE)) {
          const auto* n = static_cast<const CNote*>(o2);
          expected.push_back({int(s) + 1, n->Key, n->Start});
        }
  std::sort(expected.begin(), expected.end());
  std::sort(read.begin(), read.end());
  ASSERT_EQ(read.size(), expected.size());
  size_t differ = 0;
  for (size_t i = 0; i < read.size(); ++i) {
    if (!(read[i] == expected[i]) && differ < 8) ADD_FAILURE() << "staff " << read[i].Staff << "/" << expected[i].Staff << " pitch " << read[i].Pitch << "/" << expected[i].Pitch << " onset " << read[i].Onset << "/" << expected[i].Onset;
    differ += !(read[i] == expected[i]);
  }
  EXPECT_EQ(differ, 0u);
  // Beam lines are numbered from the primary one, as far as a note can carry.
  std::smatch m;
  for (std::string rest = xml; std::regex_search(rest, m, std::regex("<beam number=\"([0-9]+)\">")); rest = m.suffix())
    EXPECT_LE(std::stoi(m[1]), 6);
  // Every element that opens closes.
  for (const char* tag : {"measure", "note", "part", "attributes", "notations"}) {
    const std::string open = std::string("<") + tag + ">", open2 = std::string("<") + tag + " ",
                      close = std::string("</") + tag + ">";
    size_t opens = 0, closes = 0;
    for (size_t at = 0; (at = xml.find(open, at)) != std::string::npos; ++at) ++opens;
    for (size_t at = 0; (at = xml.find(open2, at)) != std::string::npos; ++at) ++opens;
    for (size_t at = 0; (at = xml.find(close, at)) != std::string::npos; ++at) ++closes;
    EXPECT_EQ(opens, closes) << tag;
  }
}

TEST(MusicXmlExport, TiedNotesSoundTheirChainsFirstKey) {
  // Only a tie chain's first note plays, for the whole chain. Where a tie
  // crosses into a system with another clef or key signature, the note it
  // reaches stands for another key; written so, readers would play both.
  // Every tie joins equal pitches, as our playback sounds them.
  CScore score;
  WorkloadOptions o;
  o.Systems = 20;
  o.StavesPerSystem = 2;
  o.DynamicsTexts = 0;
  o.Hairpins = 0;
  GenerateWorkload(score, o);
  score.AfterLoad();
  int crossing = 0;
  for (const auto& up : score.Objects())
    if (const auto* n = As<CNote>(up.get()); n && n->Tie >= 0 && n->Tie != n->Number)
      for (const auto& head : score.Objects())
        if (head->KindCode() == Kind::Note && static_cast<const CNote*>(head.get())->Number == n->Tie)
          crossing += static_cast<const CNote*>(head.get())->Key != n->Key;
  ASSERT_GT(crossing, 0) << "the workload has no tie between different keys";

  const std::string xml = ExportMusicXml(score);
  std::map<std::string, int> steps = {{"C", 0}, {"D", 2}, {"E", 4}, {"F", 5}, {"G", 7}, {"A", 9}, {"B", 11}};
  std::map<std::string, int> open;  // staff and voice -> pitch of the tie started there
  int stops = 0, differ = 0;
  std::istringstream in(xml);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (line.find("<part id=") != std::string::npos) open.clear();
    if (!std::regex_search(line, m, std::regex("<step>([A-G])</step>"))) continue;
    const int pitch = steps[m[1]] + Number(line, "alter") + 12 * (Number(line, "octave") + 1);
    const std::string where = std::to_string(Number(line, "staff")) + "/" + std::to_string(Number(line, "voice"));
    if (line.find("<tie type=\"stop\"/>") != std::string::npos) {
      ++stops;
      differ += open.count(where) && open[where] != pitch;
    }
    if (line.find("<tie type=\"start\"/>") != std::string::npos) open[where] = pitch;
  }
  EXPECT_GT(stops, 0);
  EXPECT_EQ(differ, 0) << "of " << stops << " tied notes";
}

TEST(MusicXmlExport, SpellingFollowsTheStaffPositionAndTheKey) {
  // An F-sharp written on the F line of the treble staff reads F, alter 1;
  // a note under an octave line keeps its letter and sounds an octave up.
  CScore score;
  WorkloadOptions o;
  o.Systems = 1;
  o.StavesPerSystem = 1;
  o.MeasuresPerSystem = 1;
  o.NotesPerStaffMeasure = 1;
  o.DynamicsTexts = 0;
  o.Hairpins = 0;
  GenerateWorkload(score, o);
  score.AfterLoad();
  CNote* note = nullptr;
  for (const auto& up : score.Objects())
    if (up->KindCode() == Kind::Note) note = static_cast<CNote*>(up.get());
  ASSERT_TRUE(note);
  note->Style &= ~NTS_UPDATE_KEY;
  note->dy = 0;  // the top line under a treble clef: F5
  note->Key = 78;
  std::string xml = ExportMusicXml(score);
  EXPECT_NE(xml.find("<step>F</step><alter>1</alter><octave>5</octave>"), std::string::npos);
  note->Key = 77 + 12;
  xml = ExportMusicXml(score);
  EXPECT_NE(xml.find("<step>F</step><octave>6</octave>"), std::string::npos);
  note->Key = 76;  // F-flat rather than E where the head stands on F
  xml = ExportMusicXml(score);
  EXPECT_NE(xml.find("<step>F</step><alter>-1</alter><octave>5</octave>"), std::string::npos);
}

// A score from a demo text, saved and opened as the editor opens it.
void OpenDemo(const std::string& text, const std::string& name, CScore& score) {
  DemoPiece piece;
  CScore built;
  std::string error;
  ASSERT_TRUE(ParseDemo(text, piece, &error) && BuildDemoScore(piece, built, &error)) << error;
  const std::string path = testing::TempDir() + name;
  ASSERT_TRUE(built.SaveToFile(path, &error)) << error;
  ASSERT_TRUE(OpenScoreFile(score, path, &error)) << error;
}

// Selects the upper stave's notes of the given keys and runs a score command.
void RunOnKeys(CScore& score, std::initializer_list<int> keys, const char* command) {
  int32_t count = 0;
  for (const auto& up : score.Objects()) {
    const auto* n = As<CNote>(up.get());
    up->Selected = n && n->OwnerStave == score.Staffs.front()->Staves.front() &&
                   std::find(keys.begin(), keys.end(), n->Key) != keys.end();
    count += up->Selected;
  }
  score.SelectedCount = count;
  ASSERT_TRUE(RunScoreCommand(score, *FindScoreCommand(command), {}, nullptr).Result) << command;
  ClearSelection(score);
}

TEST(MusicXmlExport, GraceNotesTakeNoTimeAndTheirMainNoteKeepsItsValue) {
  // Grace notes borrow time from their main note; in MusicXML they take
  // none, so the main note is written with its whole value from where the
  // grace notes stand, and the measure adds up.
  CScore score;
  OpenDemo("time 3/4\nmeasure 1\n upper b4/16 a4/4.. a4/4\n lower d3/2.\n"
           "measure 2\n upper c5/2 d5/8 e5/8\n lower d3/2.\n",
           "grace.q5s", score);
  RunOnKeys(score, {71}, "grace-before");
  RunOnKeys(score, {74, 76}, "grace-after");
  const std::string xml = ExportMusicXml(score);

  struct Item {
    std::string Kind;  // "grace", "note", "forward", "backup"
    int Pitch = 0, Duration = 0;
  };
  std::vector<std::vector<Item>> measures;
  std::istringstream in(xml);
  std::map<std::string, int> steps = {{"C", 0}, {"D", 2}, {"E", 4}, {"F", 5}, {"G", 7}, {"A", 9}, {"B", 11}};
  bool lower = false;  // the lower stave follows the first backup
  for (std::string line; std::getline(in, line);) {
    if (line.find("<measure ") != std::string::npos) measures.emplace_back(), lower = false;
    if (line.find("<backup>") != std::string::npos) lower = true;
    if (lower || measures.empty()) continue;
    std::smatch m;
    if (line.find("<forward>") != std::string::npos) measures.back().push_back({"forward", 0, Number(line, "duration")});
    if (!std::regex_search(line, m, std::regex("<step>([A-G])</step>"))) continue;
    const int pitch = steps[m[1]] + Number(line, "alter") + 12 * (Number(line, "octave") + 1);
    const bool grace = line.find("<grace") != std::string::npos;
    EXPECT_EQ(grace, line.find("<duration>") == std::string::npos) << line;
    measures.back().push_back({grace ? "grace" : "note", pitch, Number(line, "duration")});
  }
  // The upper stave of each measure: grace B4, then A4 from the measure's
  // start for its double-dotted quarter (420, a quarter 240), then A4 and
  // the time the sixteenth left; C5 a half (480), the grace notes D5 and E5
  // after it, and the eighths' time.
  ASSERT_EQ(measures.size(), 2u);
  auto text = [](const std::vector<Item>& items) {
    std::string out;
    for (const Item& i : items) out += i.Kind + " " + std::to_string(i.Pitch) + " " + std::to_string(i.Duration) + "; ";
    return out;
  };
  EXPECT_EQ(text(measures[0]), "grace 71 0; note 69 420; note 69 240; forward 0 60; ");
  EXPECT_EQ(text(measures[1]), "note 72 480; grace 74 0; grace 76 0; forward 0 240; ");
}

TEST(MusicXmlExport, AnOctaveLineShiftsTheNotesUnderIt) {
  // The octave-up command writes an 8va line over the notes: they sound an
  // octave up where they stand. MusicXML keeps the pitch and shifts the
  // written notes down over exactly those notes, above the staff.
  CScore score;
  OpenDemo("time 3/4\nmeasure 1\n upper c5/4 e5/8 g5 c6/4\n lower c3/2.\nmeasure 2\n upper e6/2 d5/4\n lower c3/2.\n",
           "octave.q5s", score);
  RunOnKeys(score, {79, 84, 88}, "octave-up");
  const std::string xml = ExportMusicXml(score);
  std::istringstream in(xml);
  std::map<std::string, int> steps = {{"C", 0}, {"D", 2}, {"E", 4}, {"F", 5}, {"G", 7}, {"A", 9}, {"B", 11}};
  std::string shifted, plain;
  bool under = false;
  int shifts = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.find("<octave-shift type=\"down\" size=\"8\"/>") != std::string::npos) {
      EXPECT_NE(line.find("placement=\"above\""), std::string::npos);
      EXPECT_FALSE(under);
      under = true;
      ++shifts;
    }
    if (line.find("<octave-shift type=\"stop\" size=\"8\"/>") != std::string::npos) under = false;
    std::smatch m;
    if (line.find("<staff>1</staff>") == std::string::npos ||
        !std::regex_search(line, m, std::regex("<step>([A-G])</step>")))
      continue;
    const int pitch = steps[m[1]] + Number(line, "alter") + 12 * (Number(line, "octave") + 1);
    (under ? shifted : plain) += std::to_string(pitch) + " ";
  }
  EXPECT_EQ(shifts, 1);
  EXPECT_FALSE(under);
  EXPECT_EQ(shifted, "91 96 100 ");
  EXPECT_EQ(plain, "72 76 74 ");
}

TEST(MusicXmlExport, DynamicsAndTempoWordsStandWhereTheyAreWritten) {
  // Each stave's dynamics, including the lower stave's, written after the
  // upper stave's music: each must come at its note's time, not at the end
  // of the measure or its start.
  CScore score;
  OpenDemo("time 3/4\ntempo Moderato\nmeasure 1\n upper c5/4 d5 \\f e5\n lower c3/4 \\p g3 \\mf c4\n"
           "measure 2\n upper \\pp c5/2.\n lower c3/2.\n",
           "dynamics.q5s", score);
  const std::string xml = ExportMusicXml(score);
  std::istringstream in(xml);
  int64_t measureStart = -720, position = 0;
  std::vector<std::string> read;
  for (std::string line; std::getline(in, line);) {
    if (line.find("<measure ") != std::string::npos) measureStart += 720, position = 0;
    if (line.find("<backup>") != std::string::npos) position -= Number(line, "duration");
    if (line.find("<forward>") != std::string::npos) position += Number(line, "duration");
    std::smatch m;
    if (std::regex_search(line, m, std::regex("<dynamics><([a-z]+)/></dynamics>.*<staff>([0-9])</staff>")))
      read.push_back(std::string(m[1]) + " staff " + std::string(m[2]) + " at " +
                     std::to_string(measureStart + position));
    if (line.find("<note>") != std::string::npos && line.find("<chord/>") == std::string::npos)
      position += Number(line, "duration");
  }
  EXPECT_EQ(read, (std::vector<std::string>{"f staff 1 at 480", "p staff 2 at 240", "mf staff 2 at 480",
                                            "pp staff 1 at 720"}));
  // The tempo word over the first measure travels with the tempo it sets.
  EXPECT_NE(xml.find("<direction placement=\"above\"><direction-type><words>Moderato</words></direction-type>"
                     "<direction-type><metronome><beat-unit>quarter</beat-unit><per-minute>96</per-minute>"),
            std::string::npos);
}

TEST(MusicXmlExport, TupletGroupsOpenAndClose) {
  // Notes made triplets carry the time modification, and each group of
  // them a tuplet from its first note to its last, so readers bracket it
  // (without, LilyPond printed plain eighths): three eighths; a quarter
  // and an eighth; three eighths again right after.
  CScore score;
  OpenDemo("time 5/4\nmeasure 1\n upper d5/8 e5 f5 c5/4 b4/8 g4 a4 b4 f4/8\n lower c3/1 r/4\n", "tuplets.q5s", score);
  RunOnKeys(score, {74, 76, 77, 72, 71, 67, 69}, "triplet");
  const std::string xml = ExportMusicXml(score);
  std::istringstream in(xml);
  std::map<std::string, int> steps = {{"C", 0}, {"D", 2}, {"E", 4}, {"F", 5}, {"G", 7}, {"A", 9}, {"B", 11}};
  std::string read;
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (line.find("<staff>1</staff>") == std::string::npos ||
        !std::regex_search(line, m, std::regex("<step>([A-G])</step>")))
      continue;
    read += std::to_string(steps[m[1]] + 12 * (Number(line, "octave") + 1));
    if (line.find("<actual-notes>3</actual-notes><normal-notes>2</normal-notes>") != std::string::npos) read += "/3";
    if (line.find("<tuplet type=\"start\"/>") != std::string::npos) read += "[";
    if (line.find("<tuplet type=\"stop\"/>") != std::string::npos) read += "]";
    read += " ";
  }
  EXPECT_EQ(read, "74/3[ 76/3 77/3] 72/3[ 71/3] 67/3[ 69/3 71/3] 65 ");
}

TEST(MusicXmlExport, RepeatsPlayTheMeasuresOurPlaybackPlays) {
  // A start repeat is the bar line ending its measure; a reader that plays
  // the written repeats goes through the measures in our playback's order,
  // and the double bar line stays one.
  CScore score;
  OpenDemo("time 2/4\nmeasure 1 |:\n upper c5/2\n lower c3/2\nmeasure 2\n upper d5/2\n lower c3/2\n"
           "measure 3 :|\n upper e5/2\n lower c3/2\nmeasure 4 ||\n upper f5/2\n lower c3/2\n"
           "measure 5\n upper g5/2\n lower c3/2\n",
           "repeats.q5s", score);
  std::vector<CMeasure*> measures = ScoreMeasures(score), played;
  ComputeMeasureOrder(measures, played);
  std::vector<int> expected;
  for (const CMeasure* m : played)
    expected.push_back(int(std::find(measures.begin(), measures.end(), m) - measures.begin()) + 1);
  ASSERT_EQ(expected, (std::vector<int>{1, 2, 3, 2, 3, 4, 5}));

  const std::string xml = ExportMusicXml(score);
  std::vector<bool> forward, backward;
  std::vector<std::string> rightStyles;
  const std::regex measure("<measure number=\"[0-9]+\">([\\s\\S]*?)</measure>");
  for (std::sregex_iterator it(xml.begin(), xml.end(), measure), end; it != end; ++it) {
    const std::string body = (*it)[1];
    forward.push_back(body.find("<repeat direction=\"forward\"/>") != std::string::npos);
    backward.push_back(body.find("<repeat direction=\"backward\"/>") != std::string::npos);
    std::smatch right;
    rightStyles.push_back(std::regex_search(body, right, std::regex("<barline location=\"right\"><bar-style>([a-z-]+)<"))
                              ? std::string(right[1]) : "");
  }
  ASSERT_EQ(forward.size(), measures.size());
  std::vector<int> read;
  size_t sectionStart = 0;
  std::vector<bool> repeated(forward.size(), false);
  for (size_t i = 0; i < forward.size(); ++i) {
    if (forward[i]) sectionStart = i;
    read.push_back(int(i) + 1);
    if (backward[i] && !repeated[i]) {
      repeated[i] = true;
      i = sectionStart - 1;
    }
  }
  EXPECT_EQ(read, expected);
  EXPECT_EQ(rightStyles, (std::vector<std::string>{"", "", "light-heavy", "light-light", "light-heavy"}));
}

TEST(MusicXmlExport, EveryPartNamesTheInstrumentItPlays) {
  // MIDI settings name a score instrument of their part, and a part
  // without one is refused by readers; a score without systems still
  // gives one part without crashing.
  CScore score;
  WorkloadOptions o;
  o.Systems = 1;
  o.StavesPerSystem = 3;
  o.MeasuresPerSystem = 1;
  o.NotesPerStaffMeasure = 2;
  GenerateWorkload(score, o);
  score.AfterLoad();
  score.Staffs.front()->Staves[1]->Patch = 40;
  for (const std::string& xml : {ExportMusicXml(score), ExportMusicXml(CScore())}) {
    const std::regex part("<score-part id=\"(P[0-9]+)\">(.*?)</score-part>");
    int parts = 0;
    for (std::sregex_iterator it(xml.begin(), xml.end(), part), end; it != end; ++it, ++parts) {
      const std::string id = (*it)[1], body = (*it)[2];
      EXPECT_NE(body.find("<score-instrument id=\"" + id + "-I1\"><instrument-name>"), std::string::npos) << body;
      std::smatch midi;
      if (std::regex_search(body, midi, std::regex("<midi-instrument id=\"([^\"]+)\">")))
        EXPECT_EQ(midi[1], id + "-I1");
    }
    EXPECT_GE(parts, 1);
  }
}

TEST(MusicXmlExport, PartsAndOctavesStayWithinWhatReadersTake) {
  // A brace over a piano's two or an organ's three staves makes one part;
  // a brace over more groups a part per stave. A note below C0 has no
  // MusicXML octave: it is written in octave 0 and counted.
  for (int staves : {3, 5}) {
    CScore score;
    WorkloadOptions o;
    o.Systems = 1;
    o.StavesPerSystem = staves;
    o.MeasuresPerSystem = 1;
    o.NotesPerStaffMeasure = 2;
    GenerateWorkload(score, o);
    score.AfterLoad();
    CNote* low = nullptr;
    for (const auto& up : score.Objects())
      if (up->KindCode() == Kind::Note && !low) low = static_cast<CNote*>(up.get());
    ASSERT_TRUE(low);
    low->Style &= ~NTS_UPDATE_KEY;
    low->Key = 3;
    MusicXmlExportStats stats;
    const std::string xml = ExportMusicXml(score, &stats);
    const bool grouped = staves > 3;
    EXPECT_EQ(stats.Parts, grouped ? staves : 1);
    EXPECT_EQ(xml.find("<staves>") == std::string::npos, grouped);
    EXPECT_EQ(xml.find("<part-group type=\"start\" number=\"1\"><group-symbol>brace</group-symbol></part-group>\n"
                       "    <score-part id=\"P1\">") != std::string::npos, grouped);
    EXPECT_EQ(xml.find("</score-part>\n    <part-group type=\"stop\" number=\"1\"/>\n  </part-list>") != std::string::npos,
              grouped);
    EXPECT_EQ(xml.find("<octave>-"), std::string::npos);
    EXPECT_EQ(stats.OutOfRange, 1);
  }
}

TEST(MusicXmlExport, TheCompressedContainerIsAZipArchive) {
  ZipWriter zip;
  zip.Add("mimetype", "application/vnd.recordare.musicxml", false);
  zip.Add("score.musicxml", std::string(5000, 'a'), true);
  const std::string bytes = zip.Finish();
  ASSERT_GT(bytes.size(), 30u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x03\x04", 4));
  EXPECT_EQ(bytes.substr(30, 8), "mimetype");  // stored first, unpadded
  EXPECT_LT(bytes.size(), 5000u);               // the score was deflated
  EXPECT_NE(bytes.find(std::string("PK\x05\x06", 4)), std::string::npos);
}

}  // namespace

// --- import -----------------------------------------------------------------------------

namespace {

// What a note is as written: stave (index in its system), sounding key, onset
// (quarters x 1000), written value, dots, tuplet, tie sides and the size of
// its chord.
struct WrittenNote {
  int Stave, Key;
  int64_t Onset;
  int Code, Dots, Tuplet;
  bool TieStart, TieStop;
  int ChordSize;
  auto operator<=>(const WrittenNote&) const = default;
};

std::vector<WrittenNote> Written(const CScore& score) {
  std::map<int32_t, std::vector<const CNote*>> chains;
  std::map<int32_t, int> chordSize;
  std::vector<std::pair<const CNote*, int>> notes;
  for (const CStaff* system : score.Staffs)
    for (size_t s = 0; s < system->Staves.size(); ++s)
      for (const CStaveObject* o : system->Staves[s]->Attached)
        // Heads standing where no key is named (a generated score's extremes) carry no pitch to keep.
        if (o->KindCode() == Kind::Note && !(o->Style & NTS_GRACE) && static_cast<const CNote*>(o)->Key >= 12 &&
            static_cast<const CNote*>(o)->Key <= 120) {
          const auto* n = static_cast<const CNote*>(o);
          notes.push_back({n, int(s)});
          if (n->Tie >= 0) chains[n->Tie].push_back(n);
          if (n->Chord >= 0) ++chordSize[n->Chord];
        }
  std::vector<WrittenNote> out;
  for (const auto& [n, stave] : notes) {
    bool start = false, stop = false;
    // A tie chain sounds its first note's key throughout (a tie into another
    // clef or key joins what the score plays as one note), and is written so.
    int key = n->Key;
    if (n->Tie >= 0 && chains[n->Tie].size() > 1) {
      const CNote* first = n;
      for (const CNote* other : chains[n->Tie]) {
        start |= other->Start > n->Start;
        stop |= other->Start < n->Start;
        if (other->Start < first->Start) first = other;
      }
      key = first->Key;
    }
    const int dots = (n->Style & NTS_DOTTED) ? 1 : (n->Style & NTS_DOUBLE_DOTTED) ? 2 : 0;
    out.push_back({stave, key, int64_t(n->Start) * 1000 / std::max(1, score.TimeBase), n->DurationCode(), dots,
                   n->TupletCount(), start, stop, n->Chord >= 0 ? chordSize[n->Chord] : 1});
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Notes of the first list missing from the second, at most a few, for the failure text.
std::string Missing(const std::vector<WrittenNote>& a, const std::vector<WrittenNote>& b) {
  std::vector<WrittenNote> diff;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(diff));
  std::ostringstream out;
  out << diff.size() << " differ";
  for (size_t i = 0; i < diff.size() && i < 6; ++i)
    out << "; stave " << diff[i].Stave << " key " << diff[i].Key << " at " << diff[i].Onset << " code " << diff[i].Code
        << " dots " << diff[i].Dots << " tuplet " << diff[i].Tuplet << " tie " << diff[i].TieStart << diff[i].TieStop
        << " chord " << diff[i].ChordSize;
  return out.str();
}

bool Import(const std::string& xml, CScore& score, MusicXmlImportReport& report) {
  // Tests run side by side: a file of this test's own.
  const std::string path =
      testing::TempDir() + testing::UnitTest::GetInstance()->current_test_info()->name() + ".musicxml";
  std::ofstream(path, std::ios::binary) << xml;
  std::string error;
  const bool ok = ImportMusicXmlFile(path, score, report, &error);
  EXPECT_TRUE(ok) << error;
  return ok;
}

}  // namespace

#ifdef QUAVIX_DEMO_SCORE
TEST(MusicXmlImport, TheDemoTravelsOutAndBackAsWritten) {
  CScore demo;
  ASSERT_TRUE(demo.LoadFromFile(QUAVIX_DEMO_SCORE));
  demo.RelinkObjects();
  demo.AfterLoad();
  const std::string dir = testing::TempDir();
  for (const char* name : {"demo.musicxml", "demo.mxl"}) {
    const std::string path = dir + name;
    ASSERT_TRUE(SaveMusicXml(demo, path));
    CScore back;
    MusicXmlImportReport report;
    std::string error;
    ASSERT_TRUE(ImportMusicXmlFile(path, back, report, &error)) << error;
    EXPECT_EQ(report.Title, "小步舞曲");
    EXPECT_EQ(report.Parts, 1);
    EXPECT_EQ(report.Staves, 2);
    EXPECT_EQ(report.Measures, 16);
    const auto before = Written(demo), after = Written(back);
    EXPECT_EQ(after, before) << name << ": " << Missing(before, after);
    // The piano part is one braced system of two staves, the mf a dynamic
    // text, the closing repeat a repeat bar line; only the part's name was left out.
    ASSERT_FALSE(back.Staffs.empty());
    EXPECT_EQ(back.Staffs.front()->Staves.size(), 2u);
    int braces = 0, dynamics = 0, repeats = 0;
    for (const auto& up : back.Objects()) {
      braces += up->KindCode() == Kind::Bracket;
      dynamics += up->KindCode() == Kind::Text && static_cast<const CXText*>(up.get())->text == "mf";
      repeats += up->KindCode() == Kind::Measure && up->Value == 41;
    }
    EXPECT_EQ(braces, int(back.Staffs.size()));
    EXPECT_EQ(dynamics, 1);
    EXPECT_EQ(repeats, 1);
    EXPECT_EQ(report.IgnoredText(), "已忽略: 1 个声部名称");
  }
}
#endif

TEST(MusicXmlImport, TheWorkloadTravelsOutAndBackAsWritten) {
  // Chords, ties across bar lines, triplets, beams, marks and key changes on
  // every system, eight staves in one braced part.
  CScore score;
  WorkloadOptions o;
  o.Systems = 8;
  o.StavesPerSystem = 4;
  o.MeasuresPerSystem = 4;
  o.DynamicsTexts = 6;
  o.Hairpins = 0;
  GenerateWorkload(score, o);
  score.AfterLoad();
  CScore back;
  MusicXmlImportReport report;
  ASSERT_TRUE(Import(ExportMusicXml(score), back, report));
  const auto before = Written(score), after = Written(back);
  EXPECT_EQ(after, before) << Missing(before, after);
  // Staccato and accent marks come back as marks and set their notes' bits.
  int staccato = 0, accent = 0, marked = 0;
  for (const auto& up : back.Objects()) {
    staccato += up->KindCode() == Kind::Mark && up->Value == 90;
    accent += up->KindCode() == Kind::Mark && up->Value == 93;
    marked += up->KindCode() == Kind::Note && (up->Style & NTS_STACCATO);
  }
  EXPECT_GT(staccato, 0);
  EXPECT_GT(accent, 0);
  EXPECT_GE(marked, staccato);
}

TEST(MusicXmlImport, WhatTheFileWritesIsWhatTheScoreShows) {
  // Two parts: a flute on a treble stave and a piano on two staves with a
  // clef change; written values that the lengths alone would spell otherwise.
  const std::string xml = R"(<?xml version="1.0"?>
<score-partwise version="4.0"><part-list>
<score-part id="F"><part-name>Flute</part-name><midi-instrument id="F1"><midi-program>74</midi-program></midi-instrument></score-part>
<score-part id="P"><part-name>Piano</part-name></score-part></part-list>
<part id="F">
 <measure number="1"><attributes><divisions>2</divisions><key><fifths>-2</fifths></key><time><beats>3</beats><beat-type>4</beat-type></time><clef><sign>G</sign><line>2</line></clef></attributes>
  <direction placement="below"><direction-type><dynamics><p/></dynamics></direction-type><staff>1</staff></direction>
  <direction placement="below"><direction-type><wedge type="crescendo"/></direction-type></direction>
  <note><grace slash="yes"/><pitch><step>D</step><octave>5</octave></pitch><voice>1</voice><type>eighth</type></note>
  <note><pitch><step>E</step><alter>-1</alter><octave>5</octave></pitch><duration>3</duration><voice>1</voice><type>quarter</type><dot/><stem>down</stem><notations><slur type="start" number="1"/><articulations><accent/></articulations></notations></note>
  <note><pitch><step>F</step><alter>1</alter><octave>5</octave></pitch><duration>1</duration><voice>1</voice><type>eighth</type><accidental>sharp</accidental><stem>down</stem><notations><slur type="stop" number="1"/></notations></note>
  <direction><direction-type><wedge type="stop"/></direction-type></direction>
  <note><pitch><step>G</step><octave>5</octave></pitch><duration>2</duration><tie type="start"/><voice>1</voice><type>quarter</type><stem>down</stem><notations><tied type="start"/><fermata/></notations></note>
  <barline location="right"><bar-style>light-heavy</bar-style><repeat direction="backward"/></barline>
 </measure>
 <measure number="2">
  <note><pitch><step>G</step><octave>5</octave></pitch><duration>2</duration><tie type="stop"/><voice>1</voice><type>quarter</type><notations><tied type="stop"/></notations></note>
  <direction placement="above"><direction-type><words>D.C.</words></direction-type><sound tempo="60"/></direction>
  <note><rest/><duration>4</duration><voice>1</voice><type>half</type></note>
 </measure>
</part>
<part id="P">
 <measure number="1"><attributes><divisions>6</divisions><key><fifths>0</fifths></key><time><beats>3</beats><beat-type>4</beat-type></time><staves>2</staves>
  <clef number="1"><sign>G</sign><line>2</line></clef><clef number="2"><sign>F</sign><line>4</line></clef></attributes>
  <note><pitch><step>C</step><octave>5</octave></pitch><duration>2</duration><voice>1</voice><type>eighth</type><time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes></time-modification><staff>1</staff><beam number="1">begin</beam></note>
  <note><pitch><step>D</step><octave>5</octave></pitch><duration>2</duration><voice>1</voice><type>eighth</type><time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes></time-modification><staff>1</staff><beam number="1">continue</beam></note>
  <note><pitch><step>E</step><alter>-1</alter><octave>5</octave></pitch><duration>2</duration><voice>1</voice><type>eighth</type><time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes></time-modification><staff>1</staff><beam number="1">end</beam></note>
  <note><pitch><step>F</step><octave>5</octave></pitch><duration>12</duration><voice>1</voice><type>half</type><staff>1</staff></note>
  <backup><duration>18</duration></backup>
  <direction placement="below"><direction-type><pedal type="start"/></direction-type><staff>2</staff></direction>
  <direction placement="below"><direction-type><octave-shift type="up" size="8"/></direction-type><staff>2</staff></direction>
  <note><pitch><step>B</step><alter>-1</alter><octave>2</octave></pitch><duration>18</duration><voice>5</voice><type>half</type><dot/><staff>2</staff></note>
  <note><chord/><pitch><step>F</step><octave>3</octave></pitch><duration>18</duration><voice>5</voice><type>half</type><dot/><staff>2</staff></note>
  <direction placement="below"><direction-type><octave-shift type="stop" size="8"/></direction-type><staff>2</staff></direction>
  <direction placement="below"><direction-type><pedal type="stop"/></direction-type><staff>2</staff></direction>
 </measure>
 <measure number="2"><attributes><clef number="2"><sign>G</sign><line>2</line></clef></attributes>
  <note><rest measure="yes"/><duration>18</duration><voice>1</voice><staff>1</staff></note>
  <backup><duration>18</duration></backup>
  <note><pitch><step>D</step><octave>4</octave></pitch><duration>18</duration><voice>5</voice><type>half</type><dot/><staff>2</staff></note>
 </measure>
</part></score-partwise>)";
  CScore score;
  MusicXmlImportReport report;
  ASSERT_TRUE(Import(xml, score, report));
  EXPECT_EQ(report.Parts, 2);
  EXPECT_EQ(report.Staves, 3);
  EXPECT_EQ(report.IgnoredText(), "已忽略: 2 个声部名称");
  ASSERT_EQ(score.Staffs.size(), 1u);
  const CStaff& system = *score.Staffs.front();
  ASSERT_EQ(system.Staves.size(), 3u);
  ASSERT_EQ(system.Measures.size(), 2u);
  EXPECT_EQ(system.Measures[0]->Value, 41);
  EXPECT_EQ(system.Staves[0]->Patch, 73);

  std::map<int, int> byKind;
  std::vector<std::string> texts;
  std::vector<int> clefs;
  const CBracket* brace = nullptr;
  for (const auto& up : score.Objects()) {
    ++byKind[up->KindCode()];
    if (up->KindCode() == Kind::Text) texts.push_back(static_cast<const CXText*>(up.get())->text);
    if (up->KindCode() == Kind::Sign && up->Style == SIGN_CLEF) clefs.push_back(up->Value);
    if (up->KindCode() == Kind::Bracket) brace = static_cast<const CBracket*>(up.get());
  }
  // The brace joins the piano's staves only.
  ASSERT_TRUE(brace);
  EXPECT_EQ(brace->OwnerStave, system.Staves[1]);
  EXPECT_GE(brace->Bottom, system.Staves[2]->Bottom - 1);
  EXPECT_EQ(byKind[Kind::Slur], 2);  // the slur and the tie's arc
  EXPECT_EQ(byKind[Kind::Graphics], 1);
  EXPECT_EQ(byKind[Kind::OctaveLine], 1);
  std::sort(clefs.begin(), clefs.end());
  EXPECT_EQ(clefs, (std::vector<int>{0, 0, 0, 1}));  // the bass stave turns treble in measure 2
  EXPECT_NE(std::find(texts.begin(), texts.end(), "p"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "D.C."), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "3"), texts.end());
  // The tempo change after the first quarter of measure 2, as the tempo view writes it.
  EXPECT_NE(std::find(texts.begin(), texts.end(), "#tempo:1920,1000000;"), texts.end());

  // Notes by stave: written values, dots, stems, accidentals, tuplets, the grace note.
  std::vector<std::vector<const CNote*>> staves(3);
  for (size_t s = 0; s < 3; ++s)
    for (const CStaveObject* o : system.Staves[s]->Attached)
      if (o->KindCode() == Kind::Note || o->KindCode() == Kind::Rest) staves[s].push_back(static_cast<const CNote*>(o));
  ASSERT_EQ(staves[0].size(), 6u);
  const CNote* grace = staves[0][0];
  EXPECT_TRUE(grace->Style & NTS_GRACE);
  EXPECT_EQ(grace->Key, 74);
  const CNote* eflat = staves[0][1];
  EXPECT_EQ(eflat->Key, 75);
  EXPECT_EQ(eflat->DurationCode(), 3);
  EXPECT_TRUE(eflat->Style & NTS_DOTTED);
  EXPECT_TRUE(eflat->Style & NTS_ACCENT);
  EXPECT_GT(eflat->Stem, 0);  // down, as written
  EXPECT_EQ(eflat->dy, 4);    // E-flat 5: a step below the top line
  const CNote* fsharp = staves[0][2];
  EXPECT_EQ(fsharp->Key, 78);
  EXPECT_EQ(fsharp->Start, 720);  // the grace note borrows from the E-flat, not from the bar
  // p (72), raised a little by the crescendo that starts with it.
  EXPECT_GE(fsharp->Velocity, 72);
  EXPECT_LE(fsharp->Velocity, 92);
  EXPECT_EQ(staves[0][3]->Tie, staves[0][4]->Tie);
  EXPECT_GE(staves[0][3]->Tie, 0);
  EXPECT_EQ(staves[0][4]->Start, 1440);
  EXPECT_EQ(staves[0][5]->KindCode(), Kind::Rest);
  EXPECT_EQ(staves[0][5]->DurationCode(), 2);
  ASSERT_EQ(staves[1].size(), 5u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(staves[1][i]->Value, 4 | 3 << 8);
  EXPECT_EQ(staves[1][3]->Start, 480);
  EXPECT_EQ(staves[1][4]->KindCode(), Kind::Rest);  // the measure rest
  EXPECT_EQ(staves[1][4]->Ticks, 1440);
  ASSERT_EQ(staves[2].size(), 3u);
  EXPECT_EQ(staves[2][0]->Chord, staves[2][1]->Chord);
  EXPECT_GE(staves[2][0]->Chord, 0);
  // Under the octave line (8vb) the B-flat 2 stands where B-flat 3 would: above the bass stave.
  const CNote* bflat = staves[2][0]->Key == 46 ? staves[2][0] : staves[2][1];
  EXPECT_EQ(bflat->Key, 46);
  EXPECT_EQ(bflat->dy, -4);
  const CNote* d4 = staves[2][2];
  EXPECT_EQ(d4->Key, 62);
  EXPECT_EQ(d4->dy, 36);  // under the treble clef now: just below the bottom line
  // Each part its own key: the flute's two flats, the piano's none.
  int flutes = 0, pianos = 0;
  for (const CStaveObject* o : system.Staves[0]->Attached) flutes += o->KindCode() == Kind::Sign && o->Value == 274;
  for (size_t s = 1; s < 3; ++s)
    for (const CStaveObject* o : system.Staves[s]->Attached) pianos += o->KindCode() == Kind::Sign && o->Style == SIGN_KEY;
  EXPECT_EQ(flutes, 1);
  EXPECT_EQ(pianos, 0);
  // Accidentals as the file shows them: the sharp it names; the flats are in the key.
  int sharps = 0, others = 0;
  for (const auto& up : score.Objects())
    if (up->KindCode() == Kind::Mark) {
      sharps += up->Value == 2;
      others += up->Value == 1 || up->Value == 3;
    }
  EXPECT_EQ(sharps, 1);
  EXPECT_EQ(others, 0);
  // The pedal goes down and comes up as the piano's marks.
  int pedalDown = 0, pedalUp = 0;
  for (const CStaveObject* o : system.Staves[2]->Attached) {
    pedalDown += o->KindCode() == Kind::Mark && o->Value == 21;
    pedalUp += o->KindCode() == Kind::Mark && o->Value == 22;
  }
  EXPECT_EQ(pedalDown, 1);
  EXPECT_EQ(pedalUp, 1);
}

TEST(MusicXmlImport, MalformedAndHostileFilesAreRefusedWithAReason) {
  const std::string head = "<?xml version=\"1.0\"?><score-partwise><part-list><score-part id=\"P1\"/></part-list>"
                           "<part id=\"P1\"><measure number=\"1\">";
  const std::string tail = "</measure></part></score-partwise>";
  const std::string note = "<note><pitch><step>C</step><octave>4</octave></pitch><duration>1</duration></note>";
  std::string manyStaves = head + "<attributes><divisions>1</divisions><staves>65</staves></attributes>" + tail;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<score-partwise><part", "not well-formed"},
      {"<?xml version=\"1.0\"?><html/>", "not a MusicXML score"},
      {head + note + tail, "before the part's divisions"},
      {head + "<attributes><divisions>0</divisions></attributes>" + tail, "divisions out of range"},
      {head + "<attributes><divisions>1</divisions></attributes>"
                  "<note><pitch><step>C</step><octave>4</octave></pitch><duration>1e30</duration></note>" + tail,
       "beyond the limits"},
      {head + "<attributes><divisions>1</divisions></attributes><note><duration>1</duration></note>" + tail,
       "neither pitch nor rest"},
      {head + "<attributes><divisions>1</divisions></attributes><note><pitch><step>H</step></pitch><duration>1</duration></note>" + tail,
       "without a step"},
      {manyStaves, "too many staves"},
      {std::string("PK\x03\x04", 4) + std::string(40, 'x'), "compressed file"},
  };
  for (const auto& [text, reason] : cases) {
    NotatedScore music;
    MusicXmlImportReport report;
    std::string error;
    EXPECT_FALSE(ReadMusicXml(text, music, report, &error)) << text;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_TRUE(music.Notes.empty() && music.Measures.empty() && music.Staves.empty());
  }
  // Entities declared by the file expand to nothing: no billion laughs.
  std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE score-partwise [<!ENTITY a \"aaaaaaaaaa\">";
  for (int i = 1; i < 10; ++i)
    laughs += "<!ENTITY " + std::string(1, char('a' + i)) + " \"" + std::string(10, '&') + "\">";
  laughs += "]><score-partwise><part-list/><part id=\"P1\"><measure><direction><direction-type><words>&j;</words>"
            "</direction-type></direction></measure></part></score-partwise>";
  NotatedScore music;
  MusicXmlImportReport report;
  std::string error;
  ASSERT_TRUE(ReadMusicXml(laughs, music, report, &error)) << error;
  ASSERT_LE(music.Texts.size(), 1u);
  if (!music.Texts.empty()) EXPECT_LT(music.Texts.front().Text.size(), 16u);
  // What has no place is counted and said; a cue note (and the percussion
  // note sounding with it) still takes its time, and music placed past the
  // last measure is left out, not looped over.
  const std::string lyrics = head + "<attributes><divisions>1</divisions></attributes>"
                             "<harmony><root><root-step>C</root-step></root></harmony>"
                             "<note><cue/><pitch><step>G</step><octave>4</octave></pitch><duration>1</duration></note>"
                             "<note><chord/><unpitched><display-step>E</display-step></unpitched><duration>1</duration></note>"
                             "<note><pitch><step>C</step><octave>4</octave></pitch><duration>3</duration><type>half</type>"
                             "<dot/><lyric><text>la</text></lyric></note>"
                             "<forward><duration>100000</duration></forward>" + note + tail;
  ASSERT_TRUE(ReadMusicXml(lyrics, music, report, &error)) << error;
  EXPECT_EQ(report.IgnoredText(),
            "已忽略: 1 个和弦符号, 1 个提示音符, 1 个无法表示长度的小节, 1 个无音高音符, 1 个最后一小节之后的音符, 1 个歌词");
  ASSERT_EQ(music.Notes.size(), 1u);
  EXPECT_EQ(music.Notes[0].Start, 480);
  CScore score;
  PrepareImportScore(score);
  EXPECT_EQ(PlaceNotatedScore(score, music), 2u);  // the note and the quarter rest before it
}
