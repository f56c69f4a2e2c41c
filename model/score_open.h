// Opening a score file the way a document opens it, and its statistics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CScore;

// Loads the file into the score (which is left untouched on failure), records
// the path, brings coordinates far off any page within reach, rebuilds the
// links, runs the full update and clamps the font and layer indexes to the
// tables.
bool OpenScoreFile(CScore& score, const std::string& path, std::string* error = nullptr);

// The same for a score stream in memory (a fuzz input, a snapshot): load,
// then the clamps, relink and full update a document gets.
bool OpenScoreBytes(CScore& score, const uint8_t* data, size_t size, std::string* error = nullptr);

struct ScoreStatistics {
  int Systems = 0;
  int Measures = 0;
  int Notes = 0;
  int Objects = 0;
  int Resolution = 0;
  int64_t PlayLength = 0;  // start plus length of the last measure
};
ScoreStatistics ComputeStatistics(const CScore& score);
