// Scores for the MusicXML peer check: a demo text (the format of
// res/demo/minuet.txt) built as the demo is, then opened as the editor opens
// it and edited with the editor's own commands on chosen notes. Lines that
// start with '!' are the edits, run in order after the build:
//   !select M upper|lower FIRST [LAST]   add the notes and rests at the
//                                        FIRST..LAST onsets (0-based) of
//                                        measure M on that stave
//   !clear                               select nothing
//   !run COMMAND[=N]                     a score command (quavix-cli commands)
// Usage: quavix_peer_scores IN.txt OUT.q5s
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/file_util.h"
#include "editing/command_table.h"
#include "model/notes.h"
#include "model/score.h"
#include "model/score_open.h"
#include "model/structure.h"
#include "tools/demo/demo_score.h"

namespace {

int Fail(const std::string& reason) {
  std::fprintf(stderr, "quavix_peer_scores: %s\n", reason.c_str());
  return 1;
}

// Selects the notes and rests of one stave and measure whose onsets are the
// first..last distinct ones; false when there is no such measure.
bool SelectOnsets(CScore& score, int measureNumber, int staveIndex, int first, int last) {
  int number = 0;
  for (CStaff* system : score.Staffs)
    for (CMeasure* measure : system->Measures) {
      if (++number != measureNumber) continue;
      if (size_t(staveIndex) >= system->Staves.size()) return false;
      const CStave* stave = system->Staves[size_t(staveIndex)];
      std::set<int> onsets;
      for (const auto& up : score.Objects())
        if (const auto* n = As<CNote>(up.get()); n && n->OwnerStave == stave && n->OwnerMeasure == measure)
          onsets.insert(n->Start);
      const std::vector<int> ordered(onsets.begin(), onsets.end());
      int32_t count = 0;
      for (const auto& up : score.Objects()) {
        auto* n = As<CNote>(up.get());
        if (n && n->OwnerStave == stave && n->OwnerMeasure == measure)
          for (int i = first; i <= last && size_t(i) < ordered.size(); ++i)
            if (n->Start == ordered[size_t(i)]) n->Selected = 1;
        count += up->Selected ? 1 : 0;
      }
      score.SelectedCount = count;
      return true;
    }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: quavix_peer_scores IN.txt OUT.q5s\n");
    return 2;
  }
  const std::string in = argv[1], out = argv[2];
  std::string text, error;
  if (!qx::ReadWholeFile(in, text, &error)) return Fail(error);

  // The edits leave an empty line behind, so the build's messages keep
  // their line numbers.
  std::istringstream lines(text);
  std::string line, demoText;
  std::vector<std::pair<int, std::string>> edits;
  for (int number = 1; std::getline(lines, line); ++number) {
    const size_t at = line.find_first_not_of(" \t");
    if (at != std::string::npos && line[at] == '!') {
      edits.push_back({number, line.substr(at + 1)});
      line.clear();
    }
    demoText += line + "\n";
  }

  DemoPiece piece;
  CScore built;
  if (!ParseDemo(demoText, piece, &error) || !BuildDemoScore(piece, built, &error))
    return Fail(in + ": " + error);
  if (!built.SaveToFile(out, &error)) return Fail("cannot write " + out + ": " + error);
  if (edits.empty()) return 0;

  CScore score;
  if (!OpenScoreFile(score, out, &error)) return Fail(error);
  for (const auto& [number, edit] : edits) {
    std::istringstream words(edit);
    std::string verb;
    words >> verb;
    const std::string where = in + ":" + std::to_string(number) + ": ";
    if (verb == "clear") {
      ClearSelection(score);
    } else if (verb == "select") {
      int measure = 0, first = -1, last = -1;
      std::string stave;
      words >> measure >> stave >> first;
      if (!(words >> last)) last = first;
      if (first < 0 || (stave != "upper" && stave != "lower") ||
          !SelectOnsets(score, measure, stave == "upper" ? 0 : 1, first, last))
        return Fail(where + "select M upper|lower FIRST [LAST]");
    } else if (verb == "run") {
      std::string word;
      words >> word;
      const size_t eq = word.find('=');
      const ScoreCommand* command = FindScoreCommand(word.substr(0, eq));
      if (!command) return Fail(where + "unknown command " + word);
      CommandArgs args;
      if (eq != std::string::npos) args.Number = std::atoi(word.c_str() + eq + 1);
      score.LastError.clear();
      if (!RunScoreCommand(score, *command, args, nullptr).Result)
        return Fail(where + word + " changed nothing " + score.LastError);
    } else {
      return Fail(where + "unknown edit " + verb);
    }
  }
  ClearSelection(score);
  if (!score.SaveToFile(out, &error)) return Fail("cannot write " + out + ": " + error);
  return 0;
}
