// The editor's part play and keyboard recording on recording devices, with
// the interface thread's queue run by the test. Free of the toolkit, so it
// also runs under the thread sanitizer.
#include <gtest/gtest.h>


#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <vector>

#include "common/paths.h"
#include "common/ui_poster.h"
#include "editing/recorder.h"
#include "editor/app/playback.h"
#include "model/notes.h"
#include "model/score.h"
#include "performance/midi_file.h"
#include "tests/model/score_fixture.h"
#include "tests/playback/wire_device.h"

namespace {

// Posted work waits here until the test runs it, as the event loop would.
struct QueuePoster : UiPoster {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::function<void()>> queue;
  void Post(std::function<void()> work) override {
    std::lock_guard lock(mutex);
    queue.push_back(std::move(work));
    cv.notify_all();
  }
  // Waits for posted work and runs it; false when nothing came.
  bool RunPosted() {
    std::vector<std::function<void()>> run;
    {
      std::unique_lock lock(mutex);
      if (!cv.wait_for(lock, std::chrono::seconds(10), [&] { return !queue.empty(); })) return false;
      run.swap(queue);
    }
    for (auto& f : run) f();
    return true;
  }
};

struct Keyboard : MidiInDevice {
  Handler handler;
  bool Start(Handler h) override {
    handler = std::move(h);
    return true;
  }
  void Stop() override { handler = nullptr; }
};

std::vector<uint32_t> NotesOf(const std::vector<uint32_t>& sent) {
  std::vector<uint32_t> notes;
  for (uint32_t m : sent)
    if ((m & 0xE0) == 0x80) notes.push_back(m);
  return notes;
}

TEST(EditorPlayback, PartPlayPlaysTheSelectionToItsEndThenStopsOnTheInterfaceThread) {
  SmallScore s(1, 1);
  std::vector<CNote*> notes;
  for (int i = 0; i < 4; ++i) notes.push_back(s.Note(0, 0, 60 + 40 * i, 8 + 4 * i));
  s.score.UpdateDerived();
  notes[1]->Selected = notes[2]->Selected = 1;
  s.score.SelectedCount = 2;
  Wire wire;
  int opened = 0;
  QueuePoster poster;
  EditorPlayback playback(
      [&](int, std::string*) -> std::unique_ptr<MidiOutDevice> {
        ++opened;
        return std::make_unique<WireDevice>(&wire);
      },
      {}, poster);
  std::filesystem::remove(qx::TempFilePath("~PlayPart.mid"));
  ASSERT_TRUE(playback.PlayPart(s.score));
  EXPECT_TRUE(playback.IsPlaying());
  EXPECT_EQ(playback.PartEndTick(), notes[2]->PlayStart + notes[2]->PlayTicks);
  // The part performance is also left as a file.
  CMidiSequence written;
  ASSERT_EQ(ReadMidiFile(written, qx::TempFilePath("~PlayPart.mid")), 1);
  // Past the last selected note the clock thread posts the stop.
  ASSERT_TRUE(poster.RunPosted());
  EXPECT_FALSE(playback.IsPlaying());
  EXPECT_EQ(opened, 2);  // reopened by the stop, which silences the device
  const auto k = [&](int i) { return uint32_t(notes[i]->Key) << 8; };
  const uint32_t v1 = uint32_t(notes[1]->Velocity) << 16, v2 = uint32_t(notes[2]->Velocity) << 16;
  EXPECT_EQ(NotesOf(wire.Sent()), (std::vector<uint32_t>{0x90 | k(1) | v1, 0x80 | k(1), 0x90 | k(2) | v2,
                                                         0x80 | k(2)}));
  // Nothing selected: nothing plays.
  notes[1]->Selected = notes[2]->Selected = 0;
  EXPECT_FALSE(playback.PlayPart(s.score));
  EXPECT_FALSE(playback.IsPlaying());
  EXPECT_FALSE(playback.Stop(0));  // stopped already: returns at once
}

TEST(EditorPlayback, KeyboardRecordingWritesNotesHearsThemAndEndsAtStop) {
  SmallScore s(1, 1);
  s.score.UpdateDerived();
  const size_t before = s.score.Objects().size();
  Wire wire;
  Keyboard* keyboard = nullptr;
  QueuePoster poster;
  bool keyboardMissing = false;
  EditorPlayback playback([&](int, std::string*) { return std::make_unique<WireDevice>(&wire); },
                          [&](int, std::string* error) -> std::unique_ptr<MidiInDevice> {
                            if (keyboardMissing) {
                              *error = "没有MIDI输入设备";
                              return nullptr;
                            }
                            auto k = std::make_unique<Keyboard>();
                            keyboard = k.get();
                            return k;
                          },
                          poster);
  int shown = 0;
  ASSERT_TRUE(playback.StartRecording(s.score, [&] { ++shown; }, [] {}));
  EXPECT_TRUE(playback.IsRecording());
  ASSERT_NE(keyboard, nullptr);
  keyboard->handler(0x643C90);  // middle C down
  keyboard->handler(0x403CB0);  // a controller: heard, not recorded
  keyboard->handler(0x003C90);  // released as a note-on without velocity
  keyboard->handler(0x644091);  // channel 1: the lower voices
  keyboard->handler(0x4080);    // released
  // Everything was heard at once, through the output.
  EXPECT_EQ(NotesOf(wire.Sent()), (std::vector<uint32_t>{0x643C90, 0x003C90, 0x644091, 0x4080}));
  while (shown < 4) ASSERT_TRUE(poster.RunPosted());
  std::vector<const CNote*> recorded;
  for (size_t i = before; i < s.score.Objects().size(); ++i)
    if (s.score.Objects()[i]->KindCode() == Kind::Note) recorded.push_back(static_cast<const CNote*>(s.score.Objects()[i].get()));
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0]->Key, 60);
  EXPECT_EQ(recorded[0]->Voice, 0);
  EXPECT_EQ(recorded[1]->Key, 64);
  EXPECT_EQ(recorded[1]->Voice, 1);
  EXPECT_TRUE(playback.Stop(0));
  EXPECT_FALSE(playback.IsRecording());
  // A key after the stop changes nothing.
  const size_t after = s.score.Objects().size();
  playback.OnInputMessage(0x643E90, 10);
  EXPECT_EQ(s.score.Objects().size(), after);

  // No keyboard: the clock still runs, the failure is reported.
  keyboardMissing = true;
  EXPECT_FALSE(playback.StartRecording(s.score, [] {}, [] {}));
  EXPECT_EQ(playback.InputError(), "没有MIDI输入设备");
  EXPECT_TRUE(playback.IsPlaying());
  EXPECT_TRUE(playback.Stop(0));
}

}  // namespace
