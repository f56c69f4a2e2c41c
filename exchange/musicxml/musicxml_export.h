// MusicXML export: the score as score-partwise MusicXML 4.0, the format other
// notation programs exchange. A part per group of staves joined by a brace
// (a piano system is one part with two staves), otherwise a part per stave;
// measures in score order; pitches spelled from the staff position.
#pragma once

#include <string>

class CScore;

struct MusicXmlExportStats {
  int Parts = 0;
  int Measures = 0;
  int Notes = 0;
  int Rests = 0;
  int Skipped = 0;  // objects with no MusicXML form (lines, images, visual-MIDI objects)
  int OutOfRange = 0;  // notes outside MusicXML's octaves 0-9, written in the nearest one
};

// The score must be laid out and recalculated (as opened). Never fails on a
// sound score; a score without systems gives one empty part.
std::string ExportMusicXml(const CScore& score, MusicXmlExportStats* stats = nullptr);

// Writes ".musicxml"/".xml" as plain text and ".mxl" as the compressed
// container (META-INF/container.xml and score.musicxml in a zip archive),
// never leaving a partial file. False with a one-line reason on failure.
bool SaveMusicXml(const CScore& score, const std::string& path, std::string* error = nullptr,
                  MusicXmlExportStats* stats = nullptr);
