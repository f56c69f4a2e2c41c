// Generated scores for benchmarks, tests and demos.
#pragma once

#include <cstdint>

class CScore;

struct WorkloadOptions {
  int Systems = 250;
  int MeasuresPerSystem = 4;
  int StavesPerSystem = 8;
  int NotesPerStaffMeasure = 8;
  int DynamicsTexts = 2000;
  int Hairpins = 1000;
  uint32_t Seed = 1;
};

// The reference workload: systems of staves and measures with clefs, key and
// time signatures, notes with chords, ties, tuplets, beams and marks,
// dynamics texts and hairpins. With the defaults: 1,000 measures in 250
// systems of 8 staves, about 64,000 notes.
void GenerateWorkload(CScore& score, const WorkloadOptions& options = {});

// A score holding objects of every kind with random field values (texts of
// every length form, member lists, dangling references), for round trips.
void GenerateRandomScore(CScore& score, uint32_t seed, int objectCount);

// A reference page for looking at the drawing: a piano system with clefs, key
// and time signatures, notes of every duration with stems up and down,
// ledger lines, dots, rests of every code, accidentals, beams, slurs, ties,
// repeat bar lines, endings, an octave line, dynamics, hairpins, every mark
// type and a Chinese text.
void GenerateReferenceSheet(CScore& score);
// Key signatures of one to seven sharps and flats on treble, bass and alto
// clefs, and notes of every duration with both stem directions on each clef.
void GenerateKeySignatureSheet(CScore& score);
