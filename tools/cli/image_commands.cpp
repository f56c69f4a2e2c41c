#include "tools/cli/image_commands.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "model/score.h"
#include "model/score_open.h"
#include "notation/glyph_table.h"
#include "platform/app_fonts.h"
#include "platform/qt_device_context.h"
#include "platform/score_image.h"
#include "platform/score_pdf.h"
#include "common/paths.h"

int CmdConvertToImage(const std::string& in, const std::string& out) {
  // Drawing text needs a GUI application; no display is needed.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int argc = 1;
  char name[] = "quavix-cli";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  CScore score;
  std::string error;
  if (!OpenScoreFile(score, in, &error)) {
    std::fprintf(stderr, "quavix-cli: %s\n", error.c_str());
    return 1;
  }
  LoadScorePictures(score);
  if (!LoadCharList() || CharList().Empty()) std::fprintf(stderr, "quavix-cli: warning: res/charlist.dat is missing; notes draw no heads\n");
  if (!RegisterMusicFont()) std::fprintf(stderr, "quavix-cli: warning: the music font is missing\n");
  const bool pdf = qx::FileExtensionLower(out) == ".pdf";
  if (!(pdf ? SaveScorePdf(score, out, &error) : SaveScoreImage(score, out, &error))) {
    std::fprintf(stderr, "quavix-cli: cannot write %s: %s\n", out.c_str(), error.c_str());
    return 1;
  }
  return 0;
}
