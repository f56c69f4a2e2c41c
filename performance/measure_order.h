// The order in which a score's measures are performed (repeats, endings,
// D.C., D.S., Fine, segno, "#sequence:"), the mapping of events from score
// ticks to performance ticks, continuation measures and the "#tempo:" text.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

class CScore;
class CMeasure;
class CMidiSequence;

// Repeat roles of texts (their Value).
constexpr int TEXT_ROLE_DC = 80;
constexpr int TEXT_ROLE_DS = 81;
constexpr int TEXT_ROLE_FINE = 82;
constexpr int TEXT_ROLE_SEGNO = 83;

// Guards against scores whose repeat flags multiply without end (every
// nested repeat doubles its section): the order stops growing at this many
// measures, and the mapped event list at this many events.
constexpr size_t kMaxMeasureOrder = size_t(1) << 20;
constexpr size_t kMaxPerformanceEvents = size_t(1) << 24;

// Every measure of every system, system after system.
std::vector<CMeasure*> ScoreMeasures(const CScore& score);

// Sets the repeat roles of the texts "D.C...", "D.S...", "Fine" and "%" and
// the matching flags on the measures they stand in.
void ResolveRepeatWords(CScore& score);

// Appends the performance order of `measures` to `order`.
void ComputeMeasureOrder(std::span<CMeasure* const> measures, std::vector<CMeasure*>& order);

// Fills `order` from the score's "#sequence:" text and returns 1; returns 0
// and leaves `order` empty when the score has none.
int ParseSequenceDirective(const CScore& score, std::vector<CMeasure*>& order);

// Rewrites the sequence's events from score ticks to performance ticks,
// measure by measure in `order`; events in no played measure are dropped.
void ApplyMeasureOrder(std::span<CMeasure* const> order, CMidiSequence& sequence);

// Lays every continuation measure over the end of the measure played before
// it by moving its events, and everything after them, back by its length.
void MergeContinuationMeasures(const CScore& score, CMidiSequence& sequence);

// One tempo event per "tick,tempo;" entry of the score's "#tempo:" text.
// Entries that do not parse, or whose tempo the play clock cannot run at
// (below the division, or wider than three bytes), are skipped.
void ParseTempoDirective(const CScore& score, CMidiSequence& sequence);
