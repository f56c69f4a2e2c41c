// Arbitrary bytes as MusicXML (plain or the zip container): the reader must
// refuse with a reason or hand over music that places into a score, in
// bounded time and memory.
#include <cstddef>
#include <cstdint>
#include <string>

#include "editing/notated_import.h"
#include "editing/recorder.h"
#include "exchange/musicxml/musicxml_import.h"
#include "model/score.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  NotatedScore music;
  MusicXmlImportReport report;
  std::string error;
  if (!ReadMusicXml(bytes, music, report, &error)) {
    // a refusal says why and hands over nothing
    if (error.empty() || !music.Notes.empty() || !music.Measures.empty()) __builtin_trap();
    return 0;
  }
  CScore score;
  PrepareImportScore(score);
  PlaceNotatedScore(score, music);
  return 0;
}
