// quavix-cli convert X.q5s Y.wav: the performance rendered offline through
// the software synthesizer.
#pragma once

#include <string>

// Opens the score as the editor does, builds the whole performance (repeats,
// tempo changes, accompaniment) and renders it, faster than real time, with
// a progress bar on a terminal. On failure one line on stderr, non-zero, and
// no output file.
int CmdConvertToWav(const std::string& in, const std::string& out);
