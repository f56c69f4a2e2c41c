// quavix-demo: turns a demo score text (res/demo/*.txt) into a score file.
//   quavix-demo IN.txt OUT.q5s
#include <cstdio>
#include <string>

#include "common/file_util.h"
#include "model/score.h"
#include "tools/demo/demo_score.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: quavix-demo IN.txt OUT.q5s\n");
    return 2;
  }
  const std::string in = argv[1], out = argv[2];
  std::string text, error;
  if (!qx::ReadWholeFile(in, text, &error)) {
    std::fprintf(stderr, "quavix-demo: %s\n", error.c_str());
    return 1;
  }
  DemoPiece piece;
  CScore score;
  if (!ParseDemo(text, piece, &error) || !BuildDemoScore(piece, score, &error)) {
    std::fprintf(stderr, "quavix-demo: %s: %s\n", in.c_str(), error.c_str());
    return 1;
  }
  if (!score.SaveToFile(out, &error)) {
    std::fprintf(stderr, "quavix-demo: cannot write %s: %s\n", out.c_str(), error.c_str());
    return 1;
  }
  return 0;
}
