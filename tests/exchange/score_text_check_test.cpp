// Telling a whole score text from one cut short or holding settings no
// score can hold, as the command-line import checks before importing.
#include "exchange/score_text.h"
#include "tests/exchange/exchange_test_util.h"
#include "tools/scoregen/scoregen.h"

namespace {

std::string ExportText(CScore& score) { return Export(score).SaveToText(); }

ScoreTextCheck Check(const std::string& text) { return CheckScoreText(Parse(text), text); }

bool Mentions(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& line : lines)
    if (line.find(part) != std::string::npos) return true;
  return false;
}

TEST(ScoreTextCheck, AWholeExportPassesAndEveryCutIsCaught) {
  CScore score;
  WorkloadOptions o;
  o.Systems = 2;
  o.StavesPerSystem = 2;
  o.MeasuresPerSystem = 2;
  o.NotesPerStaffMeasure = 4;
  GenerateWorkload(score, o);
  const std::string text = ExportText(score);
  const ScoreTextCheck whole = Check(text);
  EXPECT_TRUE(whole.Missing.empty()) << whole.Missing.front();
  EXPECT_TRUE(whole.Invalid.empty());
  EXPECT_TRUE(whole.Warnings.empty());

  // Half the file: inside a line and inside an object's section.
  const ScoreTextCheck half = Check(text.substr(0, text.size() / 2));
  EXPECT_TRUE(Mentions(half.Missing, "ends inside a line"));
  EXPECT_TRUE(Mentions(half.Missing, "ends inside section [Object"));
  EXPECT_FALSE(half.Warnings.empty());  // the counter is ahead of what was read

  // Cut at every line end of the objects: either a section is short of
  // keys, objects name missing ones, or the counter shows Numbers missing.
  size_t cuts = 0;
  for (size_t at = text.find("\n[Object"); at != std::string::npos; at = text.find('\n', at + 1)) {
    const ScoreTextCheck cut = Check(text.substr(0, at + 1));
    if (at + 1 == text.size()) break;
    EXPECT_FALSE(cut.Missing.empty() && cut.Warnings.empty()) << "cut at byte " << at;
    ++cuts;
  }
  EXPECT_GT(cuts, 100u);
}

TEST(ScoreTextCheck, SettingsAScoreCannotHoldAreNamedByKey) {
  CScore score;
  WorkloadOptions o;
  o.Systems = 1;
  o.StavesPerSystem = 1;
  GenerateWorkload(score, o);
  std::string text = ExportText(score);
  auto with = [&](const std::string& key, const std::string& value) {
    std::string t = text;
    const size_t at = t.find("\n" + key + "=") + 1;
    t.replace(at, t.find('\n', at) - at, key + "=" + value);
    return Check(t).Invalid;
  };
  EXPECT_TRUE(with("TimeBase", "480").empty());
  EXPECT_TRUE(Mentions(with("TimeBase", "0"), "TimeBase=0"));
  EXPECT_TRUE(Mentions(with("TimeBase", "40000"), "TimeBase=40000"));
  EXPECT_TRUE(Mentions(with("Denominator", "3"), "Denominator=3"));
  EXPECT_TRUE(Mentions(with("Numerator", "0"), "Numerator=0"));
  EXPECT_TRUE(Mentions(with("Tempo", "-5"), "Tempo=-5"));
  // A document without the key reads TimeBase 0, which no MIDI file can carry.
  EXPECT_TRUE(Mentions(Check("[Score]\nFileType=Score\n").Invalid, "TimeBase=0"));
}

}  // namespace
