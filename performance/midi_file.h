// Standard MIDI Files: a CMidiSequence written as a format 1 file with a
// conductor track and a track of everything else, and any Standard MIDI File
// read back into one merged, sorted event list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CMidiSequence;

// A growable byte buffer that a track is built in: append bytes, then patch
// a big-endian length in place once the track is complete.
class MidiByteBuffer {
 public:
  void Append(const void* data, size_t size);
  void AppendByte(uint8_t b) { bytes_.push_back(b); }
  // Big-endian 16 / 32 bit.
  void Append16(uint32_t v);
  void Append32(uint32_t v);
  // Variable-length quantity, most significant group first; values above
  // 0x0FFFFFFF (the four-byte limit) are written as 0x0FFFFFFF.
  void AppendVarLen(uint32_t v);
  // Stores v big-endian into the four bytes at `offset`.
  void Patch32(size_t offset, uint32_t v);

  size_t Size() const { return bytes_.size(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  void Clear() { bytes_.clear(); }

 private:
  std::vector<uint8_t> bytes_;
};

// The file's bytes: format 1, two tracks (meta events other than texts in
// the first, everything else in the second), the sequence's division.
// Statuses are always written (no running status); meta and sysex lengths
// are variable-length quantities. Events that no Standard MIDI File can hold
// (status bytes below 0x80, system common and real-time messages) are left
// out. Returns false, with a reason, when the division does not fit the
// header's 15 bits of ticks per quarter note.
bool EncodeMidiFile(const CMidiSequence& sequence, std::vector<uint8_t>& out, std::string* error = nullptr);

// Writes the file; the previous file at `path` survives any failure. Returns
// 1, or -1 when it cannot be written.
int WriteMidiFile(const CMidiSequence& sequence, const std::string& path, std::string* error = nullptr);

// Reads a file into the sequence (cleared first, named after the path),
// merging all tracks on their own absolute times, then sorts it and seeks to
// tick 0. Returns 1; -1 when the file cannot be opened (a line goes to the
// trace log), 0 when it is no Standard MIDI File we can play (no header,
// SMPTE or zero division). On -1 and 0 the sequence is left untouched. A
// file that ends early keeps every event read before the break; `problem`
// then tells where it broke.
int ReadMidiFile(CMidiSequence& sequence, const std::string& path, std::string* problem = nullptr);
// The same from bytes in memory.
int ReadMidiBytes(CMidiSequence& sequence, const uint8_t* data, size_t size, std::string* problem = nullptr);
