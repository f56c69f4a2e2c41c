// The editor's first window, driven offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "common/ui_host.h"
#include "editor/app/application.h"
#include "editor/frame/main_frame.h"
#include "editor/app/score_document.h"
#include "editor/view/score_view.h"
#include "model/score.h"
#include "notation/glyph_table.h"
#include "platform/score_image.h"
#include "tests/scripted_ui_host.h"
#include "tools/scoregen/scoregen.h"

namespace {


int InkPixels(const QImage& image) {
  int dark = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128;
  return dark;
}

std::string OutputDir() {
  const char* dir = std::getenv("QUAVIX_SCREENSHOT_DIR");
  std::string out = dir ? dir : QUAVIX_DEFAULT_SCREENSHOT_DIR;
  std::filesystem::create_directories(out);
  return out;
}

TEST(EditorWindow, OpensAScoreAndPaintsIt) {
  CScore generated;
  WorkloadOptions o;
  o.Systems = 3;
  o.StavesPerSystem = 2;
  o.MeasuresPerSystem = 3;
  o.NotesPerStaffMeasure = 4;
  GenerateWorkload(generated, o);
  const std::string path = OutputDir() + "/editor-window-test.q5s";
  ASSERT_TRUE(generated.SaveToFile(path));

  ScriptedUiHost ui;
  QuavixApp app(ui);
  ASSERT_TRUE(app.Start({QString::fromStdString(path)}));
  EXPECT_TRUE(ui.Messages.empty()) << ui.Messages.front();
  CMainFrame* frame = app.MainFrame();
  ASSERT_TRUE(frame);
  frame->resize(1280, 900);
  QTest::qWait(50);
  CScoreEditView* view = frame->ActiveView();
  ASSERT_TRUE(view);
  EXPECT_EQ(view->Document().Score().ObjectCount(), generated.ObjectCount());
  // Scroll sizes: wider of content and page plus 100; whole pages plus 50.
  const CScore& score = view->Document().Score();
  const QSize size = view->ScrollSize();
  EXPECT_EQ(size.width(), std::max(score.ExtentWidth, score.PaperWidth) + 100);
  EXPECT_EQ(size.height() % score.PaperHeight, 50);

  const QImage shot = frame->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  EXPECT_GT(InkPixels(shot), 2000);
  shot.save(QString::fromStdString(OutputDir() + "/editor-window.png"));
}

TEST(EditorWindow, ReportsAFileThatCannotBeOpened) {
  ScriptedUiHost ui;
  QuavixApp app(ui);
  ASSERT_TRUE(app.Start({"/nonexistent/score.q5s"}, false));
  ASSERT_EQ(ui.Messages.size(), 1u);
  EXPECT_NE(ui.Messages[0].find("/nonexistent/score.q5s"), std::string::npos);
  EXPECT_EQ(app.MainFrame()->Area()->subWindowList().size(), 0);
}

TEST(EditorWindow, AFullJournalWarnsTheUser) {
  ScriptedUiHost ui;
  QuavixApp app(ui);
  ASSERT_TRUE(app.Start({}, false));
  app.MainFrame()->NewDocument();
  CScoreEditView* view = app.MainFrame()->ActiveView();
  ASSERT_TRUE(view);
  CommandJournal& journal = view->Document().Journal();
  while (journal.Count() < 100) journal.Record("SelectAll");
  EXPECT_TRUE(ui.Messages.empty());
  journal.Record("SelectAll");
  ASSERT_EQ(ui.Messages.size(), 1u);
  EXPECT_EQ(ui.Messages[0], "暂存区满, 请尽快存盘以清空暂存区!");
}

TEST(BitmapExport, HeaderAndRows) {
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(QColor(10, 20, 30));
  image.setPixel(0, 0, qRgb(255, 0, 0));  // top-left: stored in the last row
  const std::string bmp = EncodeBmp24(image);
  ASSERT_EQ(bmp.size(), 54u + 2 * 12);  // rows of 9 bytes padded to 12
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  auto u32 = [&](size_t at) {
    return uint32_t(uint8_t(bmp[at])) | uint32_t(uint8_t(bmp[at + 1])) << 8 | uint32_t(uint8_t(bmp[at + 2])) << 16 |
           uint32_t(uint8_t(bmp[at + 3])) << 24;
  };
  EXPECT_EQ(u32(2), bmp.size());
  EXPECT_EQ(u32(6), 0u);
  EXPECT_EQ(u32(10), 54u);
  EXPECT_EQ(u32(14), 40u);
  EXPECT_EQ(u32(18), 3u);
  EXPECT_EQ(u32(22), 2u);
  EXPECT_EQ(uint8_t(bmp[26]), 1);   // one plane
  EXPECT_EQ(uint8_t(bmp[28]), 24);  // bits per pixel
  EXPECT_EQ(u32(30), 0u);           // no compression
  // First stored row is the bottom one: all (10, 20, 30) as blue, green, red.
  EXPECT_EQ(uint8_t(bmp[54]), 30);
  EXPECT_EQ(uint8_t(bmp[55]), 20);
  EXPECT_EQ(uint8_t(bmp[56]), 10);
  EXPECT_EQ(bmp.substr(63, 3), std::string(3, '\0'));  // padding
  EXPECT_EQ(uint8_t(bmp[66 + 2]), 255);                 // red of the top row's first pixel
}

TEST(BitmapExport, ContentPlusFiftyWithAFrame) {
  CScore score;
  score.ResetDefaultTables();
  auto text = std::make_unique<CXText>();
  text->SetBounds(10, 10, 300, 200);
  score.AddObject(std::move(text));
  const QImage image = RenderScoreImage(score);
  EXPECT_EQ(image.width(), 350);
  EXPECT_EQ(image.height(), 250);
  EXPECT_EQ(qGray(image.pixel(0, 0)), 0);
  EXPECT_EQ(qGray(image.pixel(349, 125)), 0);
  EXPECT_EQ(qGray(image.pixel(320, 230)), 255);
}

TEST(PngExport, GreyAndColourImagesDecodeToTheSamePixels) {
  QImage grey(37, 11, QImage::Format_RGB32);
  grey.fill(Qt::white);
  grey.setPixel(3, 4, qRgb(0, 0, 0));
  grey.setPixel(36, 10, qRgb(128, 128, 128));
  QImage colour = grey.copy();
  colour.setPixel(5, 5, qRgb(255, 0, 0));
  for (const QImage* image : {&grey, &colour}) {
    const std::string png = EncodePng(*image);
    QImage back;
    ASSERT_TRUE(back.loadFromData(reinterpret_cast<const uchar*>(png.data()), int(png.size()), "PNG"));
    EXPECT_EQ(back.isGrayscale(), image == &grey);
    back = back.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(back.size(), image->size());
    for (int y = 0; y < image->height(); ++y)
      for (int x = 0; x < image->width(); ++x) ASSERT_EQ(back.pixel(x, y), image->pixel(x, y)) << x << "," << y;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Settings, recent files and recovery files of the tests stay in the build folder.
  const std::string home = std::filesystem::absolute("gui-tests-home/" + std::to_string(getpid())).string();
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home);
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
  QApplication app(argc, argv);
  InstallChineseTranslations(app);
  SetUpIconTheme();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
