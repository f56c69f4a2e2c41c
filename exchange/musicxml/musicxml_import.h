// MusicXML import: partwise or timewise MusicXML (".musicxml", ".xml") or its
// compressed container (".mxl") read into a performance of the written
// music, which the MIDI import then notates: one channel per stave of each
// part, ties joined, tempo, time and key signatures as events. What has no
// place in that (dynamics, texts, lyrics, chord symbols, grace notes ...) is
// counted and reported, never dropped without a trace.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CMidiSequence;
class CScore;

struct MusicXmlImportReport {
  std::string Title, Composer;  // UTF-8
  int Parts = 0;
  int Staves = 0;
  int Measures = 0;
  int Notes = 0;
  std::map<std::string, int> Ignored;  // by what they are ("和弦符号") to how many
  // "已忽略: 12 个和弦符号, 3 个歌词"; empty when nothing was left out.
  std::string IgnoredText() const;
};

// Reads the file's bytes (the caller reads the file; a zip container is
// opened here). False with a one-line reason for anything malformed or
// hostile: bad XML, an unknown root, missing or absurd divisions, durations
// or counts beyond the limits.
bool ReadMusicXml(const std::string& bytes, CMidiSequence& sequence, MusicXmlImportReport& report,
                  std::string* error);

// The whole import into an empty score: read, notate as the MIDI import
// does, title and composer as texts above the music. False with a reason;
// the score is then left empty.
bool ImportMusicXmlFile(const std::string& path, CScore& score, MusicXmlImportReport& report,
                        std::string* error);
