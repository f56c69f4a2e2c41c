// The sample plug-in, loaded like the editor loads it, on a generated score.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <map>

#include "editor/app/addin_manager.h"
#include "model/score.h"
#include "performance/build_performance.h"
#include "performance/midi_sequence.h"
#include "tests/scripted_ui_host.h"
#include "tools/scoregen/scoregen.h"

namespace {

// The key each note sounds with in the MIDI export, by note number.
std::map<int32_t, int> SoundingKeys(CScore& score) {
  CMidiSequence sequence;
  BuildPerformance(score, sequence);
  std::map<int32_t, int> keys;
  for (const MidiEventRec& e : sequence.Events)
    if (e.IsNoteOn() && e.Data2 > 0) keys[e.Number] = e.Data1;
  return keys;
}

TEST(SampleAddin, RaisesTheSelectedNotesForGoodAndCountsThem) {
  // Kept mapped after the manager lets go, so that the leak checker can
  // name what the toolkit the plug-in brings along keeps for the process.
  ASSERT_TRUE(dlopen(QUAVIX_SAMPLE_ADDIN, RTLD_NOW | RTLD_NODELETE));
  ScriptedUiHost ui;
  AddinManager addins;
  ASSERT_TRUE(addins.Load(QUAVIX_SAMPLE_ADDIN, ui));
  ASSERT_EQ(addins.CommandIdsOf(0), (std::vector<int>{38000, 38001}));
  EXPECT_TRUE(ui.Messages.empty());
  constexpr int kTranspose = 38000, kCount = 38001;

  CScore score;
  WorkloadOptions o;
  o.Systems = 1;
  o.StavesPerSystem = 1;
  o.MeasuresPerSystem = 2;
  o.NotesPerStaffMeasure = 4;
  o.DynamicsTexts = o.Hairpins = 0;
  GenerateWorkload(score, o);
  score.AfterLoad();

  // Two single notes (not chord members, which sound with their head) that
  // follow their stave position.
  std::vector<CNote*> picked;
  for (const auto& object : score.Objects()) {
    if (object->GetKind() != CNote::kKind) continue;
    auto* note = static_cast<CNote*>(object.get());
    if (note->Chord < 0 && note->Tie < 0 && (note->Style & NTS_UPDATE_KEY) && note->Key < 127) picked.push_back(note);
    if (picked.size() == 2) break;
  }
  ASSERT_EQ(picked.size(), 2u);
  const std::map<int32_t, int> before = SoundingKeys(score);
  for (CNote* note : picked) note->Selected = 1;
  // A selected rest is no note.
  for (const auto& object : score.Objects())
    if (object->GetKind() == CRest::kKind) {
      object->Selected = 1;
      break;
    }
  score.RecountSelection();

  testing::internal::CaptureStderr();
  EXPECT_TRUE(addins.Run(kCount, &score));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "选中了 2 个音符\n");

  EXPECT_TRUE(addins.Run(kTranspose, &score));
  // The recalculation (what the editor runs after its next command) keeps
  // the raised pitch, and the export plays it.
  score.UpdateDerived();
  const std::map<int32_t, int> after = SoundingKeys(score);
  for (CNote* note : picked) {
    EXPECT_EQ(after.at(note->Number), before.at(note->Number) + 1) << note->Number;
    EXPECT_EQ(note->Key, before.at(note->Number) + 1);
  }
  // Other notes keep their pitch.
  size_t unchanged = 0;
  for (const auto& [number, key] : after) unchanged += before.at(number) == key;
  EXPECT_EQ(unchanged, after.size() - 2);

  // A note at the top key refuses the whole command.
  picked[1]->Key = 127;
  const int first = picked[0]->Key;
  testing::internal::CaptureStderr();
  addins.Run(kTranspose, &score);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "选中的音符已是最高音, 不能再升高\n");
  EXPECT_EQ(picked[0]->Key, first);

  // No document: the plug-in gets null and says so.
  testing::internal::CaptureStderr();
  addins.Run(kCount, nullptr);
  addins.Run(kTranspose, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "没有打开的乐谱\n没有打开的乐谱\n");
}

}  // namespace
