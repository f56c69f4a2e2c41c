// The image export and the view's drawing on hostile geometry: limits refused
// with a reason, far-off shapes clipped before they reach the painter, long
// pages encoded row by row, and picture sources kept to the score's folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <filesystem>

#include "common/file_util.h"
#include "model/score.h"
#include "platform/qt_device_context.h"
#include "platform/score_image.h"
#include "tests/common/scratch_dir.h"
#include "tools/scoregen/scoregen.h"

namespace {

// A small generated score with one plain object spanning `box` (its outline
// draws as a three-point polyline along its edges).
void MakeScore(CScore& score, Rect box) {
  WorkloadOptions o;
  o.Systems = 1;
  o.StavesPerSystem = 1;
  o.MeasuresPerSystem = 1;
  o.NotesPerStaffMeasure = 2;
  GenerateWorkload(score, o);
  auto object = std::make_unique<CXObject>();
  object->Left = box.Left;
  object->Top = box.Top;
  object->Right = box.Right;
  object->Bottom = box.Bottom;
  score.AddObject(std::move(object));
}

int InkIn(const QImage& image, QRect area) {
  int ink = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) ink += qGray(image.pixel(x, y)) < 128;
  return ink;
}

TEST(ScoreImage, PicturesBeyondTheLimitsAreRefusedWithAReasonAndNoFile) {
  ScratchDir dir;
  CScore wide;
  MakeScore(wide, {100, 100, 1 << 24, 200});
  std::string error;
  for (const char* name : {"wide.png", "wide.bmp"}) {
    EXPECT_FALSE(SaveScoreImage(wide, dir / name, &error)) << name;
    EXPECT_NE(error.find("图像太大"), std::string::npos) << error;
    EXPECT_NE(error.find("image too large: 16,777,266 x"), std::string::npos) << error;
  }
  EXPECT_TRUE(RenderScoreImage(wide).isNull());
  // Too high for a bitmap, not for a PNG, which is written a row at a time.
  CScore tall;
  MakeScore(tall, {100, 100, 300, 40000});
  EXPECT_FALSE(SaveScoreImage(tall, dir / "tall.bmp", &error));
  EXPECT_EQ(ScoreImageSizeProblem(tall, true), "");
  EXPECT_TRUE(dir.List().empty());
}

TEST(ScoreImage, ALongPngHoldsExactlyThePixelsOfTheWholePicture) {
  ScratchDir dir;
  // Blank runs of rows between the generated system and a tall box's
  // bottom edge, and rows that change: both encodings must decode right.
  CScore tall;
  MakeScore(tall, {700, 40, 900, 3000});
  tall.Objects().back()->Value = 2;  // a rectangle: Qt's slanted lines shift a pixel where a strip cuts them
  std::string error;
  ASSERT_TRUE(SaveScoreImage(tall, dir / "tall.png", &error)) << error;
  const QImage png(QString::fromStdString(dir / "tall.png"));
  const QImage whole = RenderScoreImage(tall).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(png.size(), whole.size());
  EXPECT_EQ(png.height(), 3050);
  const QImage decoded = png.convertToFormat(QImage::Format_RGB32);
  int differ = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < whole.height(); ++y)
    for (int x = 0; x < whole.width(); ++x)
      if (decoded.pixel(x, y) != whole.pixel(x, y) && differ++ == 0) firstX = x, firstY = y;
  EXPECT_EQ(differ, 0) << "first at " << firstX << "," << firstY << ": " << std::hex << decoded.pixel(firstX, firstY)
                       << " against " << whole.pixel(firstX, firstY);
  EXPECT_GT(InkIn(whole, {700, 2000, 201, 1}), 0);  // the box runs down the page
}

TEST(QtDeviceContextClipping, FarOffShapesAreCutToTheViewNotHandedToThePainter) {
  QImage image(200, 100, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.translate(-1000, -2000);  // the view shows x 1000..1200, y 2000..2100
    QtDeviceContext dc(painter, {1000, 2000, 1200, 2100});
    dc.SetPen({PenDash, 1, 0});
    dc.Line(-(1 << 30), 2010, 1 << 30, 2010);          // dashed across the world
    dc.SetPen({PenSolid, 1, 0});
    dc.Line(1100, -(1 << 30), 1100, 1 << 30);          // and down it
    dc.FillRect({-(1 << 30), 2080, 1 << 30, 2090}, 0);  // a bar far wider than int pixels
    dc.Ellipse({1050 - (1 << 24), 2050 - (1 << 24), 1050 + (1 << 24), 2050 + (1 << 24)});  // far round
    const Point wedge[3] = {{-(1 << 30), 2030}, {1 << 30, 2030}, {1150, 2040}};
    dc.FillPolygon(wedge, 3, 0);
    dc.TextOut(1 << 30, 1 << 30, "far");
  }
  EXPECT_GT(InkIn(image, {0, 10, 200, 1}), 40);   // dashes all along
  EXPECT_LT(InkIn(image, {0, 10, 200, 1}), 200);
  EXPECT_EQ(InkIn(image, {100, 0, 1, 100}), 100);  // the whole column
  EXPECT_EQ(InkIn(image, {0, 80, 200, 10}), 2000);
  EXPECT_GT(InkIn(image, {0, 30, 200, 10}), 20);  // the wedge's visible tip
}

TEST(ScoreView, HostileScoresPaintAndScrollWithinBounds) {
  CScore score;
  MakeScore(score, {-(1 << 24), -(1 << 24), 1 << 24, 1 << 24});
  score.PaperHeight = 1;  // a page break every unit
  const QSize size = ScoreViewSize(score);
  EXPECT_GT(size.width(), 0);
  EXPECT_GT(size.height(), 0);
  EXPECT_LE(int64_t(size.height()), kMaxViewExtent);
  QImage image(300, 200, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  // The object's upper edge runs from (2^24, -2^24) to (-2^24, 0): through (0, -2^23).
  painter.translate(150, (1 << 23) + 100);
  PaintScoreView(painter, score, {-150, -(1 << 23) - 100, 300, 200});
  painter.end();
  EXPECT_GT(InkIn(image, {148, 90, 4, 20}), 0);
  EXPECT_GE(InkIn(image, {0, 0, 300, 200}), 290);  // unbroken across the view
}

TEST(Pictures, SourcesStayInTheScoresFolderAndSpecialFilesAreNotRead) {
  ScratchDir dir;
  std::filesystem::create_directory(dir / "score");
  QImage dot(4, 3, QImage::Format_RGB32);
  dot.fill(Qt::red);
  ASSERT_TRUE(dot.save(QString::fromStdString(dir / "score/dot.png")));
  ASSERT_TRUE(dot.save(QString::fromStdString(dir / "outside.png")));
  ASSERT_EQ(mkfifo((dir / "score/pipe.png").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "outside.png", dir / "score/link.png");
  const std::string score = dir / "score/a.q5s";

  EXPECT_EQ(PictureSourcePath(score, "dot.png"), std::filesystem::canonical(dir / "score/dot.png").string());
  EXPECT_EQ(PictureSourcePath(score, "../outside.png"), "");
  EXPECT_EQ(PictureSourcePath(score, dir / "outside.png"), "");
  EXPECT_EQ(PictureSourcePath(score, "link.png"), "");  // a link out of the folder
  EXPECT_EQ(PictureSourcePath(score, "/etc/passwd"), "");
  const std::shared_ptr<Picture> picture = LoadPicture(PictureSourcePath(score, "dot.png"));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->GetWidth(), 4);
  EXPECT_FALSE(LoadPicture(dir / "score/pipe.png"));  // returns at once, no writer needed
  EXPECT_FALSE(LoadPicture("/dev/zero"));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
