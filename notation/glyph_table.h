// The character list: how each note symbol code is drawn from the music font
// "velorin". A note's code is its Head, plus 64 when its stem points down;
// codes 0 to 63 are the stem-up forms and 64 to 127 their stem-down twins.
// The list has 256 entries, read at start-up from "res/charlist.dat" beside
// the program and kept for the whole run.
//
// File layout (little-endian): int32 count, then per entry six int32 (font,
// character, glyph dx, glyph dy, stem dx, stem dy) and the name as a counted
// string (one length byte; 0xFF and a 16-bit length from 255 bytes on). The
// file is built from res/charlist.txt by tools/font/make_charlist.py.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct GlyphEntry {
  int32_t Code = 0;       // equal to the entry's index; not stored
  int32_t Font = 0;       // index into the score's font list ("字体")
  int32_t Character = 0;  // its low byte is the character drawn ("字符")
  int32_t GlyphDx = 0;    // text origin of the character, from the anchor
  int32_t GlyphDy = 0;
  int32_t StemDx = 0;     // start of the stem, from the anchor
  int32_t StemDy = 0;
  std::string Name;       // GBK bytes as stored ("名称")

  uint8_t Byte() const { return static_cast<uint8_t>(Character & 0xFF); }
};

constexpr int kGlyphEntryCount = 256;
constexpr int kStemDownCodeOffset = 64;  // code + 64: the stem-down twin
extern const char kUndefinedGlyphName[];  // "undefined"

class GlyphTable {
 public:
  // Reads a character list file. On success the table holds exactly 256
  // entries: the first `count` from the file (a count above 256 reads only
  // 256), the rest cleared and named "undefined"; returns true.
  //
  // A file that does not exist is created holding the current entries (count
  // 0 for a table never loaded), unless its folder is not writable; the table
  // is left as it was and false is returned. A file that exists but cannot be
  // read, or that is truncated or corrupt (a negative count, a count or name
  // length larger than the bytes that remain), is never overwritten: the load
  // fails as a whole, the table is left as it was and false is returned.
  // `error`, when given, receives a one-line reason on failure.
  bool Load(const std::string& path, std::string* error = nullptr);

  // The entry for a symbol code, or nullptr when the table is empty (the run
  // in which the file was first created) or the code is outside 0..255.
  const GlyphEntry* Find(int code) const;

  bool Empty() const { return entries_.empty(); }
  size_t Size() const { return entries_.size(); }
  const std::vector<GlyphEntry>& Entries() const { return entries_; }

  // The file form of the current entries (count, then each entry).
  std::vector<uint8_t> Encode() const;

  // Back to the state before any load (tests).
  void Clear() { entries_.clear(); }

 private:
  std::vector<GlyphEntry> entries_;
};

// The application's character list.
GlyphTable& CharList();

// Loads the application's list from "res/charlist.dat" in the program
// directory; returns whether the file was read (see GlyphTable::Load).
bool LoadCharList();
// The same from an explicit path (tests, tools).
bool LoadCharList(const std::string& path, std::string* error = nullptr);

// The application's entry for a symbol code; nullptr while the list is empty
// or for a code outside 0..255 (a Head of -1, or above 191 with the stem-down
// offset added). Drawing draws nothing for a missing entry.
const GlyphEntry* GetGlyph(int code);
