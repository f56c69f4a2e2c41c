// A performance as a flat, tick-sorted list of MIDI events, and the byte
// blocks its meta and sysex events point to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CNote;

// Meta event types the performance makes or reads.
constexpr uint8_t META_TEXT = 0x01;
constexpr uint8_t META_END_OF_TRACK = 0x2F;
constexpr uint8_t META_TEMPO = 0x51;
constexpr uint8_t META_TIME_SIGNATURE = 0x58;
constexpr uint8_t META_KEY_SIGNATURE = 0x59;

// Tags of note markers.
constexpr uint8_t TAG_NOTE_ON = 'n';
constexpr uint8_t TAG_NOTE_OFF = 'u';

// One event. Status, Data1, Data2 and Tag sit next to each other so that the
// four bytes read, as one little-endian word, as the packed short message an
// output device takes (status in the low byte).
struct MidiEventRec {
  int32_t Tick = 0;    // score ticks while building, performance ticks after the order is applied
  uint8_t Status = 0;  // 0xFF for a meta event
  uint8_t Data1 = 0;   // meta: the type; sysex: the data length
  uint8_t Data2 = 0;   // meta: the data length (at most 255)
  uint8_t Tag = 0;     // TAG_NOTE_ON / TAG_NOTE_OFF on note markers
  int32_t Number = 0;  // Number of the note behind a note event or marker; version from "!v" / number from "!y"
  int32_t ObjectIndex = 0;         // note events of BuildPartPerformance: the note's index in the score's objects
  const uint8_t* Data = nullptr;   // meta / sysex bytes, in a block owned by the sequence
  CNote* Source = nullptr;         // the note behind a note marker; not owned

  // status | data1 << 8 | data2 << 16, read straight from the record's bytes.
  uint32_t ShortMessage() const;
  bool IsMeta() const { return Status == 0xFF; }
  bool IsText() const { return Status == 0xFF && Data1 == META_TEXT; }
  bool IsNoteOn() const { return (Status & 0xF0) == 0x90; }
  bool IsNoteOff() const { return (Status & 0xF0) == 0x80; }
  bool IsNote() const { return (Status & 0xE0) == 0x80; }
  bool IsSysex() const { return Status == 0xF0 || Status == 0xF7; }
  // Number of data bytes behind Data (meta: Data2, sysex: Data1, else 0).
  size_t DataLength() const { return IsMeta() ? Data2 : IsSysex() ? Data1 : 0; }
  // The meta text (or other meta data) as bytes.
  std::string_view Text() const {
    return Data ? std::string_view(reinterpret_cast<const char*>(Data), DataLength()) : std::string_view();
  }
};

// Where a sequence sends short messages while playing (the output port).
class MidiMessageSink {
 public:
  virtual ~MidiMessageSink() = default;
  virtual void SendShortMessage(uint32_t message) = 0;
};

// Told about tempo changes while playing (the play clock).
class TempoListener {
 public:
  virtual ~TempoListener() = default;
  virtual void SetTempo(int32_t microsecondsPerQuarter) = 0;
};

class CMidiSequence {
 public:
  static constexpr int32_t kDefaultVersion = 0x3000000;
  static constexpr int32_t kReadVersion = 0x1000000;  // a read file until a "!v" text says otherwise

  CMidiSequence() = default;
  // Events point into the sequence's own data blocks, so a sequence is moved,
  // never copied.
  CMidiSequence(const CMidiSequence&) = delete;
  CMidiSequence& operator=(const CMidiSequence&) = delete;
  CMidiSequence(CMidiSequence&&) = default;
  CMidiSequence& operator=(CMidiSequence&&) = default;

  std::vector<MidiEventRec> Events;
  MidiMessageSink* OutputPort = nullptr;  // not owned
  TempoListener* PlayClock = nullptr;     // not owned
  int32_t Version = kDefaultVersion;      // (major << 24) | (minor << 16) | (build << 8)
  int32_t Division = 240;                 // ticks per quarter note
  int32_t Tempo = 600000;                 // microseconds per quarter note
  int32_t Numerator = 4;
  int32_t Denominator = 4;
  uint32_t ChannelMask = 0xFFFF;          // bit n: channel n sounds while playing
  size_t PlayPosition = 0;                // index of the next event to play
  std::string FileName = "Untitled.mid";

  // Name back to "Untitled.mid", every event and every data block gone.
  void Clear();

  // Each constructor appends one event and returns it; the reference is valid
  // until the next event is added.
  MidiEventRec& AddEvent(int32_t tick, uint8_t status, uint8_t data1, uint8_t data2);
  // Meta event with a copy of `data` (cut to 255 bytes).
  MidiEventRec& AddMeta(int32_t tick, uint8_t type, const uint8_t* data, size_t length);
  // Sysex event (status 0xF0 or 0xF7) with a copy of `data` (cut to 255 bytes).
  MidiEventRec& AddSysex(int32_t tick, uint8_t status, const uint8_t* data, size_t length);
  MidiEventRec& AddText(int32_t tick, std::string_view text);
  MidiEventRec& AddTempo(int32_t tick, int32_t microsecondsPerQuarter);
  // sharps: negative for flats.
  MidiEventRec& AddKeySignature(int32_t tick, int sharps, int mode);
  MidiEventRec& AddTimeSignature(int32_t tick, int numerator, int denominator, int clocks, int thirtySeconds);

  // Copies bytes into a block owned by the sequence; the pointer stays valid
  // until Clear or destruction.
  const uint8_t* StoreData(const uint8_t* data, size_t length);
  size_t DataBlockCount() const { return blockCount_; }

  // Tempo and time signature metas set the sequence's values (and the play
  // clock's tempo); other metas change nothing. A tempo below the division
  // would stop the play clock (zero microseconds per tick) and is ignored.
  void ApplyMetaEvent(const MidiEventRec& event);
  // Play position to the first event at or after `tick`; on the way, metas
  // are applied and every event that is not a note is sent to the output
  // port, so programs and controllers are in place when playing starts.
  void SeekTo(int32_t tick);
  // Plays every event from the play position up to and including `tick`:
  // metas are applied, other events on a channel set in the channel mask are
  // sent to the output port (nothing is sent without one).
  void PlayUpTo(int32_t tick);

 private:
  std::vector<std::unique_ptr<uint8_t[]>> chunks_;
  size_t chunkUsed_ = 0;
  size_t chunkSize_ = 0;
  size_t blockCount_ = 0;
};

// A per-thread list to build a new event list in before copying it back:
// emptied, with room for `capacity` events. Lists of a performance are large
// and rebuilt several times per build; one lasting buffer spares the fresh
// pages a new buffer would cost each time. SortEvents uses it too, so it is
// never the list being sorted.
std::vector<MidiEventRec>& SpareEventList(size_t capacity);

// Sorts by tick; at one tick note-offs come first, then the meta events a
// file keeps in its conductor track, then everything else, and note-ons
// last. Equal events keep their order, so a written and re-read sequence
// comes back in the same order.
void SortEvents(std::vector<MidiEventRec>& events);
