// The reference page drawn through Qt, compared with the golden image a
// person has looked at. QUAVIX_UPDATE_GOLDEN=1 rewrites the golden file.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>

#include "model/score.h"
#include "notation/glyph_table.h"
#include "platform/app_fonts.h"
#include "platform/score_image.h"
#include "tools/scoregen/scoregen.h"

namespace {

std::string ScreenshotDir() {
  const char* dir = std::getenv("QUAVIX_SCREENSHOT_DIR");
  std::string out = dir ? dir : QUAVIX_DEFAULT_SCREENSHOT_DIR;
  std::filesystem::create_directories(out);
  return out;
}

// Pixels whose grey levels differ by more than a quarter of the range.
double DifferentShare(const QImage& a, const QImage& b) {
  long different = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) different += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 64;
  return double(different) / (double(a.width()) * a.height());
}

// Draws a generated sheet and compares it with its golden image.
void ExpectMatchesGolden(void (*generate)(CScore&), const std::string& name) {
  ASSERT_TRUE(LoadCharList(QUAVIX_GENERATED_CHARLIST));
  ASSERT_TRUE(RegisterMusicFont());
  CScore score;
  generate(score);
  score.AfterLoad();
  const QImage image = RenderScoreImage(score).convertToFormat(QImage::Format_RGB32);
  image.save(QString::fromStdString(ScreenshotDir() + "/" + name));
  const std::string golden = std::string(QUAVIX_GOLDEN_DIR) + "/" + name;
  if (std::getenv("QUAVIX_UPDATE_GOLDEN")) {
    ASSERT_TRUE(image.save(QString::fromStdString(golden)));
    GTEST_SKIP() << "golden image rewritten";
  }
  QImage expected;
  ASSERT_TRUE(expected.load(QString::fromStdString(golden))) << golden;
  expected = expected.convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(image.size(), expected.size());
  // Small tolerance: antialiasing of text may differ in single pixels.
  EXPECT_LT(DifferentShare(image, expected), 0.002);
}

TEST(ReferenceRender, MatchesTheGoldenImage) { ExpectMatchesGolden(GenerateReferenceSheet, "reference-sheet.png"); }

TEST(ReferenceRender, KeySignaturesAndDurationsOnEveryClef) {
  ExpectMatchesGolden(GenerateKeySignatureSheet, "key-signatures.png");
}

TEST(ReferenceRender, PngFileHoldsTheSamePicture) {
  ASSERT_TRUE(LoadCharList(QUAVIX_GENERATED_CHARLIST));
  ASSERT_TRUE(RegisterMusicFont());
  CScore score;
  GenerateReferenceSheet(score);
  score.AfterLoad();
  const std::string path = ScreenshotDir() + "/reference-sheet-export.png";
  std::string error;
  ASSERT_TRUE(SaveScoreImage(score, path, &error)) << error;
  QImage saved;
  ASSERT_TRUE(saved.load(QString::fromStdString(path)));
  EXPECT_TRUE(saved.isGrayscale());
  const QImage drawn = RenderScoreImage(score).convertToFormat(QImage::Format_RGB32);
  saved = saved.convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(saved.size(), drawn.size());
  EXPECT_EQ(DifferentShare(saved, drawn), 0.0);
  // A selected object draws in the selection colour: the file keeps colour.
  score.GetObject(score.ObjectCount() - 1)->Selected = 1;
  ASSERT_TRUE(SaveScoreImage(score, path, &error)) << error;
  ASSERT_TRUE(saved.load(QString::fromStdString(path)));
  EXPECT_FALSE(saved.isGrayscale());
}

}  // namespace
