#include "performance/midi_file.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "common/file_util.h"
#include "common/trace_log.h"
#include "performance/midi_sequence.h"

// --- byte buffer ------------------------------------------------------------------------------

void MidiByteBuffer::Append(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + size);
}

void MidiByteBuffer::Append16(uint32_t v) {
  const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
  Append(b, 2);
}

void MidiByteBuffer::Append32(uint32_t v) {
  const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  Append(b, 4);
}

void MidiByteBuffer::AppendVarLen(uint32_t v) {
  v = std::min<uint32_t>(v, 0x0FFFFFFF);
  uint8_t groups[4];
  int n = 0;
  do {
    groups[n++] = v & 0x7F;
    v >>= 7;
  } while (v);
  while (n > 1) AppendByte(groups[--n] | 0x80);
  AppendByte(groups[0]);
}

void MidiByteBuffer::Patch32(size_t offset, uint32_t v) {
  bytes_[offset] = uint8_t(v >> 24);
  bytes_[offset + 1] = uint8_t(v >> 16);
  bytes_[offset + 2] = uint8_t(v >> 8);
  bytes_[offset + 3] = uint8_t(v);
}

// --- writing ------------------------------------------------------------------------------------

namespace {

// Meta events other than texts make up the conductor track.
bool InConductorTrack(const MidiEventRec& e) { return e.Status == 0xFF && e.Data1 != META_TEXT; }

// Channel messages, sysex and meta events are what a file can hold; the
// end of a track is written by the writer itself.
bool Writable(const MidiEventRec& e) {
  if (e.Status >= 0x80 && e.Status <= 0xEF) return true;
  if (e.IsSysex()) return true;
  return e.Status == 0xFF && e.Data1 != META_END_OF_TRACK;
}

// A data byte above 0x7F would read as a status byte and derail every reader.
uint8_t DataByte(uint8_t b) { return std::min<uint8_t>(b, 0x7F); }

void AppendTrack(const CMidiSequence& seq, bool conductor, MidiByteBuffer& buf) {
  const size_t start = buf.Size();
  buf.Append("MTrk", 4);
  buf.Append32(0);
  // Ticks are never changed; the delta is kept on the side. A tick before
  // the previous one (only possible for an unsorted list or negative ticks)
  // is written at the previous one.
  int64_t written = 0;
  for (const MidiEventRec& e : seq.Events) {
    if (InConductorTrack(e) != conductor || !Writable(e)) continue;
    const int64_t delta = std::clamp<int64_t>(int64_t(e.Tick) - written, 0, 0x0FFFFFFF);
    written += delta;
    buf.AppendVarLen(static_cast<uint32_t>(delta));
    buf.AppendByte(e.Status);
    if (e.Status == 0xFF) {
      const uint8_t length = e.Data ? e.Data2 : 0;
      buf.AppendByte(e.Data1);
      buf.AppendVarLen(length);
      buf.Append(e.Data, length);
    } else if (e.IsSysex()) {
      const uint8_t length = e.Data ? e.Data1 : 0;
      buf.AppendVarLen(length);
      buf.Append(e.Data, length);
    } else if (e.Status >= 0xC0 && e.Status <= 0xDF) {
      buf.AppendByte(DataByte(e.Data1));
    } else {
      buf.AppendByte(DataByte(e.Data1));
      buf.AppendByte(DataByte(e.Data2));
    }
  }
  const uint8_t endOfTrack[4] = {0x00, 0xFF, META_END_OF_TRACK, 0x00};
  buf.Append(endOfTrack, 4);
  buf.Patch32(start + 4, static_cast<uint32_t>(buf.Size() - start - 8));
}

}  // namespace

bool EncodeMidiFile(const CMidiSequence& seq, std::vector<uint8_t>& out, std::string* error) {
  if (seq.Division <= 0 || seq.Division > 0x7FFF) {
    if (error) *error = "division " + std::to_string(seq.Division) + " does not fit a MIDI file header";
    return false;
  }
  MidiByteBuffer buf;
  buf.Bytes().reserve(64 + seq.Events.size() * 8);
  buf.Append("MThd", 4);
  buf.Append32(6);
  buf.Append16(1);  // format
  buf.Append16(2);  // tracks
  buf.Append16(static_cast<uint32_t>(seq.Division));
  AppendTrack(seq, true, buf);
  AppendTrack(seq, false, buf);
  out.swap(buf.Bytes());
  return true;
}

int WriteMidiFile(const CMidiSequence& seq, const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!EncodeMidiFile(seq, bytes, error)) return -1;
  qx::AtomicFileWriter file;
  if (!file.Open(path) || !file.Write(bytes.data(), bytes.size()) || !file.Commit()) {
    if (error) *error = file.Error();
    return -1;
  }
  return 1;
}

// --- reading ------------------------------------------------------------------------------------

namespace {

uint32_t Be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// Parses up to `count` integers separated by `sep` the way scanf's "%d"
// does; returns how many were read. Unread values stay 0.
int ScanInts(const uint8_t* p, size_t size, char sep, int32_t* out, int count) {
  size_t i = 0;
  int read = 0;
  for (; read < count; ++read) {
    if (read > 0) {
      if (i >= size || p[i] != uint8_t(sep)) break;
      ++i;
    }
    while (i < size && (p[i] == ' ' || (p[i] >= '\t' && p[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < size && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
    const size_t digits = i;
    int64_t v = 0;
    for (; i < size && p[i] >= '0' && p[i] <= '9'; ++i) v = std::min<int64_t>(v * 10 + (p[i] - '0'), int64_t(1) << 32);
    if (i == digits) break;
    out[read] = static_cast<int32_t>(static_cast<uint32_t>(negative ? -v : v));
  }
  return read;
}

class TrackReader {
 public:
  TrackReader(CMidiSequence& seq, const uint8_t* data, size_t size) : seq_(seq), data_(data), size_(size) {}

  // Reads every chunk from `pos` on. Returns false when an event breaks off;
  // breakAt_ then holds the offset of the event that could not be read.
  bool ReadChunks(size_t pos) {
    while (size_ - pos >= 8) {
      const uint8_t* header = data_ + pos;
      const size_t length = Be32(header + 4);
      pos += 8;
      const size_t end = pos + std::min(length, size_ - pos);
      if (std::memcmp(header, "MTrk", 4) == 0) {
        ++tracks_;
        if (!ReadTrack(pos, end)) return false;
      }
      if (length > size_ - pos) {
        breakAt_ = size_;  // the file ends inside this chunk
        return false;
      }
      pos = end;
    }
    if (pos < size_) {
      breakAt_ = pos;  // a piece of a chunk header
      return false;
    }
    return true;
  }

  size_t BreakAt() const { return breakAt_; }
  // What broke the reading: "truncated" or the malformed piece.
  const std::string& Why() const { return why_; }
  size_t Tracks() const { return tracks_; }

 private:
  bool Byte(size_t& pos, size_t end, uint8_t& b) {
    if (pos >= end) return false;
    b = data_[pos++];
    return true;
  }

  bool VarLen(size_t& pos, size_t end, uint32_t& v) {
    v = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b;
      if (!Byte(pos, end, b)) return false;
      v = (v << 7) | (b & 0x7F);
      if (!(b & 0x80)) return true;
    }
    why_ = "a variable-length number longer than four bytes";
    return false;
  }

  // Events up to the end of the track or of the chunk. Each track counts its
  // own time from 0; running status does not carry over from another track.
  bool ReadTrack(size_t pos, size_t end) {
    int64_t tick = 0;
    uint8_t running = 0;  // last channel status
    while (pos < end) {
      const size_t eventStart = pos;
      auto broken = [&] {
        breakAt_ = eventStart;
        if (why_.empty()) why_ = "truncated";
        return false;
      };
      uint32_t delta;
      uint8_t b;
      if (!VarLen(pos, end, delta) || !Byte(pos, end, b)) return broken();
      tick = std::min<int64_t>(tick + delta, INT32_MAX);
      uint8_t status = b, data1 = 0, data2 = 0;
      if (b < 0x80) {
        // Running status: b is the first data byte of a message like the last.
        if (!running) {
          why_ = "a data byte with no running status before it";
          return broken();
        }
        status = running;
        data1 = b;
        if (status < 0xC0 || status > 0xDF)
          if (!Byte(pos, end, data2)) return broken();
        // In a run of note-ons a key that already sounds on the channel is
        // released: some writers strike and release with one running status.
        // A run of note-offs only ever releases.
        if ((status & 0xF0) == 0x90 && sounding_[status & 0x0F][data1 & 0x7F]) status = uint8_t(0x80 | (status & 0x0F));
      } else if (b == 0xFF) {
        uint8_t type;
        uint32_t length;
        if (!Byte(pos, end, type) || !VarLen(pos, end, length) || length > end - pos) return broken();
        const uint8_t* bytes = data_ + pos;
        pos += length;
        if (type == META_END_OF_TRACK) return true;
        StoreMeta(int32_t(tick), type, bytes, length);
        continue;
      } else if (b == 0xF0 || b == 0xF7) {
        uint32_t length;
        if (!VarLen(pos, end, length) || length > end - pos) return broken();
        seq_.AddSysex(int32_t(tick), b, data_ + pos, length);
        pos += length;
        continue;
      } else if (b >= 0xC0 && b <= 0xDF) {
        if (!Byte(pos, end, data1)) return broken();
        running = b;
      } else if (b <= 0xF3) {
        // 0x80-0xBF, 0xE0-0xEF and 0xF1-0xF3 carry two data bytes; 0xF4-0xFE none.
        if (!Byte(pos, end, data1) || !Byte(pos, end, data2)) return broken();
        if (b <= 0xEF) running = b;
      }
      // A note-on of velocity 0 is a release.
      if ((status & 0xE0) == 0x80 && data2 == 0) status = uint8_t(0x80 | (status & 0x0F));
      seq_.AddEvent(int32_t(tick), status, data1, data2);
      if ((status & 0xF0) == 0x90) sounding_[status & 0x0F][data1 & 0x7F] = true;
      else if ((status & 0xF0) == 0x80) sounding_[status & 0x0F][data1 & 0x7F] = false;
    }
    return true;
  }

  void StoreMeta(int32_t tick, uint8_t type, const uint8_t* bytes, size_t length) {
    MidiEventRec& e = seq_.AddMeta(tick, type, bytes, length);
    seq_.ApplyMetaEvent(e);
    if (type != META_TEXT || e.Data2 < 2 || e.Data[0] != '!') return;
    int32_t v[3] = {0, 0, 0};
    if (e.Data[1] == 'v') {
      if (ScanInts(e.Data + 2, e.Data2 - 2u, '.', v, 3) > 0) {
        const uint32_t version = uint32_t(v[0]) << 24 | (uint32_t(v[1]) & 0xFF) << 16 | (uint32_t(v[2]) & 0xFF) << 8;
        e.Number = seq_.Version = static_cast<int32_t>(version);
      }
    } else if (e.Data[1] == 'y') {
      if (ScanInts(e.Data + 2, e.Data2 - 2u, 0, v, 1) > 0) e.Number = v[0];
    }
  }

  CMidiSequence& seq_;
  const uint8_t* data_;
  size_t size_;
  size_t breakAt_ = 0;
  std::string why_;
  size_t tracks_ = 0;
  bool sounding_[16][128] = {};  // per channel and key, over the whole file
};

}  // namespace

int ReadMidiBytes(CMidiSequence& seq, const uint8_t* data, size_t size, std::string* problem) {
  auto refuse = [&](const char* why) {
    if (problem) *problem = why;
    return 0;
  };
  if (size < 14 || std::memcmp(data, "MThd", 4) != 0) return refuse("not a Standard MIDI File (no MThd header)");
  const uint32_t headerLength = Be32(data + 4);
  if (headerLength < 6 || headerLength > size - 8) return refuse("not a Standard MIDI File (bad header length)");
  const uint32_t division = Be16(data + 12);
  if (division & 0x8000) return refuse("SMPTE time division is not supported");
  if (division == 0) return refuse("the file's division is 0");

  seq.Clear();
  seq.Division = static_cast<int32_t>(division);
  seq.Version = CMidiSequence::kReadVersion;
  TrackReader reader(seq, data, size);
  const bool complete = reader.ReadChunks(8 + size_t(headerLength));
  const size_t declaredTracks = Be16(data + 10);
  if (problem) {
    problem->clear();
    if (!complete) *problem = (reader.Why().empty() ? std::string("truncated") : reader.Why()) + " at byte " + std::to_string(reader.BreakAt());
    else if (reader.Tracks() < declaredTracks)
      *problem = "the file ends after " + std::to_string(reader.Tracks()) + " of " + std::to_string(declaredTracks) + " tracks";
  }
  SortEvents(seq.Events);
  seq.SeekTo(0);
  return 1;
}

int ReadMidiFile(CMidiSequence& seq, const std::string& path, std::string* problem) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!qx::ReadWholeFile(path, bytes, &error)) {
    qx::Trace("打开文件失败:" + path + "\r\n");
    if (problem) *problem = error;
    return -1;
  }
  // Reading into a fresh sequence: running out of memory part way leaves the
  // caller's sequence as it was.
  try {
    CMidiSequence fresh;
    // What clearing keeps: the ports and the settings no meta event gave.
    fresh.OutputPort = seq.OutputPort;
    fresh.PlayClock = seq.PlayClock;
    fresh.Tempo = seq.Tempo;
    fresh.Numerator = seq.Numerator;
    fresh.Denominator = seq.Denominator;
    fresh.ChannelMask = seq.ChannelMask;
    const int result = ReadMidiBytes(fresh, bytes.data(), bytes.size(), problem);
    if (result != 1) return result;
    fresh.FileName = path;
    seq = std::move(fresh);
    return 1;
  } catch (const std::bad_alloc&) {
    if (problem) *problem = path + ": 内存不足 (out of memory while reading)";
    return -1;
  }
}
