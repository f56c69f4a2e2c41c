// The frame's playing commands on recording devices.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include <mutex>
#include <vector>

#include "editor/app/playback.h"
#include "editor/app/score_document.h"
#include "editor/commands/command_binder.h"
#include "editor/frame/main_frame.h"
#include "editor/frame/playback_commands.h"
#include "tests/playback/wire_device.h"
#include "tests/scripted_ui_host.h"

namespace {

// Through the frame: the commands' states follow the play, a missing
// keyboard is reported, and a recording ends as one undoable change.
TEST(FramePlayback, RecordAndStopCommandsFollowThePlay) {
  ScriptedUiHost ui;
  Wire wire;  // outlives the frame, whose output writes to it until it closes
  CMainFrame frame(ui);
  frame.Playback().UseDevices([&](int, std::string*) { return std::make_unique<WireDevice>(&wire); },
                              [](int, std::string* error) -> std::unique_ptr<MidiInDevice> {
                                *error = "没有MIDI输入设备";
                                return nullptr;
                              });
  CScoreEditDoc* doc = frame.NewDocument();
  ASSERT_NE(doc, nullptr);
  frame.show();
  QTest::qWait(20);
  frame.RefreshCommands();
  QAction* partPlay = frame.Commands().Action(33064);
  QAction* record = frame.Commands().Action(32974);
  QAction* stop = frame.Commands().Action(32975);
  ASSERT_TRUE(partPlay && record && stop);
  EXPECT_FALSE(partPlay->isEnabled());  // nothing selected
  EXPECT_TRUE(record->isEnabled());
  EXPECT_FALSE(stop->isEnabled());
  EXPECT_FALSE(doc->IsModified());

  frame.OnCommand(32974);
  EXPECT_EQ(ui.Messages, std::vector<std::string>{"打开MIDI输入设备失败"});
  EXPECT_TRUE(frame.Playback().IsPlaying());  // the clock runs without input
  EXPECT_TRUE(stop->isEnabled());
  frame.OnCommand(32975);
  EXPECT_FALSE(frame.Playback().IsPlaying());
  EXPECT_FALSE(stop->isEnabled());
  EXPECT_TRUE(doc->IsModified());
  EXPECT_TRUE(doc->CanUndo());
  // The window closes while recording: the recording ends before its score goes.
  frame.OnCommand(32974);
  EXPECT_TRUE(frame.Playback().IsPlaying());
  // Closing any view stops the play, as the stop command does.
  const int steps = doc->Journal().Count();
  frame.NewDocument();
  frame.OnCommand(57602);
  EXPECT_FALSE(frame.Playback().IsPlaying());
  EXPECT_EQ(doc->Journal().Count(), steps + 1);  // the recording's one step
  // Closing the recording's own window: it ends before its score goes.
  frame.OnCommand(32974);
  EXPECT_TRUE(frame.Playback().IsPlaying());
}

}  // namespace
