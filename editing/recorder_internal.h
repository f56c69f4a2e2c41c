// The recorder's building blocks, shared by the live recorder and the
// transcribing MIDI import: meter look-ups, spelling and the making of
// single notes and rests at a tick.
#pragma once

#include <cstdint>

#include "editing/recorder.h"

class CRest;
class CScore;
class CStave;
class CMeasure;

namespace recorder_detail {

int64_t FloorDiv(int64_t a, int64_t b);
const RecorderMeter& MeterAtTick(const CRecorder& r, int64_t tick);
int64_t MeasureIndexAt(const CRecorder& r, int64_t tick);
int64_t BarAtOrBefore(const CRecorder& r, int64_t tick);
int64_t MeasureStart(const CRecorder& r, int64_t index);
int64_t TickLimit(const CRecorder& r);
int32_t KeyOfMeasure(const CRecorder& r, int64_t index);
size_t SystemOfMeasure(const CRecorder& r, int64_t index);
int64_t FirstMeasureOfSystem(const CRecorder& r, size_t system);
int MeasuresOfSystem(const CRecorder& r, size_t system);

struct Spelling {
  int64_t Diatonic = 0;
  int Alteration = 0;
  int NaturalClass = 0;
};
Spelling Spell(int key, int32_t keyCode);
int KeySignatureAlteration(int32_t keyCode, int naturalClass);

// A note of value `code` in the voice at the tick, with the accidental its
// spelling needs (none for a tied continuation).
CNote* MakeNote(CRecorder& r, int voice, int64_t tick, int key, int channel, int code, bool continuation = false);
CRest* MakeRest(CRecorder& r, int voice, int64_t tick, int code);

// Sets (value >= 0) or removes the clef, key or time signature at the start
// of a measure on a stave and lays the measure's signs out in that order.
void SetMeasureSign(CScore& score, CStave* stave, CMeasure* measure, int style, int32_t value);

}  // namespace recorder_detail
