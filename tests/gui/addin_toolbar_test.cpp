// Plug-in tool bars in a real main window: building and sharing them,
// binding and running their commands, the saved layout, the toolbar manager
// and the sample plug-in in the editor.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>

#include "editor/app/addin_host.h"
#include "editor/app/application.h"
#include "editor/app/score_document.h"
#include "editor/frame/bar_state.h"
#include "editor/frame/main_frame.h"
#include "editor/frame/toolbar_manager.h"
#include "editor/view/score_view.h"
#include "model/score.h"
#include "tests/addin/addin_fixture.h"
#include "tests/scripted_ui_host.h"
#include "tools/scoregen/scoregen.h"

namespace {

std::string ShotDir() {
  const char* dir = std::getenv("QUAVIX_SCREENSHOT_DIR");
  std::string out = dir ? dir : QUAVIX_DEFAULT_SCREENSHOT_DIR;
  std::filesystem::create_directories(out);
  return out;
}

void WriteStrip(const std::string& path, int images) {
  QImage strip(16 * images, 15, QImage::Format_RGB32);
  strip.fill(QColor(192, 192, 192));
  for (int i = 0; i < images; ++i) strip.setPixel(i * 16 + 3 + i, 7, qRgb(0, 0, 0));
  ASSERT_TRUE(strip.save(QString::fromStdString(path), "BMP"));
}

CKRToolBar* BarTitled(const AddinHost& host, const std::string& title) {
  return FindToolBarByTitle(host.ToolBars(), title);
}

TEST(AddinToolBars, BuiltSharedBoundAndRun) {
  AddinFolder folder;
  WriteStrip(folder.Addin("strip.bmp"), 5);
  folder.Install("fx_three", "a_three.so");
  folder.WriteToolbar("a_three.rci", "Shared Tools", {1, 0, 2, 3, 4});
  folder.Install("fx_three", "b_three.so");
  folder.WriteToolbar("b_three.rci", "shared TOOLS", {9});
  folder.Install("fx_many", "c_many.so");
  folder.WriteToolbar("c_many.rci", "Many C", {1, 2});
  folder.Install("fx_many", "d_many.so");
  folder.WriteToolbar("d_many.rci", "Many D", {1});
  folder.Install("fx_three", "e_late.so");  // after the range is used up
  folder.WriteToolbar("e_late.rci", "Late", {5, 6});
  folder.Install("fx_no_count", "f_nobitmap.so");
  folder.WriteToolbar("f_nobitmap.rci", "No Bitmap", {7}, "missing.bmp");
  folder.Install("fx_no_name", "g_norci.so");

  QMainWindow frame;
  ScriptedUiHost ui;
  CScore score;
  CScore* active = &score;
  AddinHost host(frame, ui, [&] { return active; });
  host.Start(folder.Path(), folder.Addin("barstatus.ini"));
  frame.resize(900, 300);
  frame.show();
  QTest::qWait(20);

  ASSERT_EQ(ui.Messages.size(), 2u);
  EXPECT_EQ(ui.Messages[0], "CKRToolBar::Load failed to load bitmap\n" + folder.Addin("missing.bmp"));
  EXPECT_EQ(ui.Messages[1], "没有为插件提供工具栏资源文件\n" + folder.Addin("g_norci.rci") + "\n");

  // One bar per title: the second plug-in's commands went to the first's bar.
  ASSERT_EQ(host.ToolBars().size(), 5u);
  CKRToolBar* shared = BarTitled(host, "SHARED tools");
  ASSERT_TRUE(shared);
  EXPECT_EQ(shared->windowTitle(), "Shared Tools");
  EXPECT_EQ(shared->ButtonIds(), (std::vector<int>{38003, 0, 38004, 38005, 4}));
  EXPECT_EQ(BarTitled(host, "Many C")->ButtonIds(), (std::vector<int>{38006, 38007}));
  EXPECT_EQ(BarTitled(host, "Many D")->ButtonIds(), (std::vector<int>{38606}));
  EXPECT_EQ(host.Manager().NextID(), 39000);
  // No IDs were left for it, yet its bar is there with its own IDs.
  CKRToolBar* late = BarTitled(host, "Late");
  ASSERT_TRUE(late);
  EXPECT_EQ(late->ButtonIds(), (std::vector<int>{5, 6}));
  EXPECT_TRUE(late->isVisible());
  EXPECT_FALSE(late->ButtonAction(1)->icon().isNull());
  // The bar without its bitmap stays, without buttons.
  CKRToolBar* bare = BarTitled(host, "no bitmap");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->ButtonCount(), 0u);
  EXPECT_TRUE(bare->actions().isEmpty());

  // Pressing a button runs the command bound to it, on the active score.
  void* second = host.Manager().Modules()[1].Handle;
  FixtureCalls calls(second);
  shared->ButtonAction(2)->trigger();
  EXPECT_STREQ(calls.LastCommand(), "CmdB");
  EXPECT_EQ(calls.LastScore(), &score);
  active = nullptr;
  shared->ButtonAction(0)->trigger();
  EXPECT_STREQ(calls.LastCommand(), "CmdA");
  EXPECT_EQ(calls.LastScore(), nullptr);
  // A button that kept its definition's ID runs nothing here.
  shared->ButtonAction(4)->trigger();
  late->ButtonAction(0)->trigger();
  EXPECT_EQ(calls.Count(), 2);
}

TEST(AddinToolBars, ARowOfThreeIsSavedAndRestoredLeftToRight) {
  AddinFolder folder;
  WriteStrip(folder.Addin("strip.bmp"), 2);
  QMainWindow frame;
  ScriptedUiHost ui;
  std::vector<CKRToolBar*> bars;
  for (const char* title : {"One", "Two", "Three", "Four"}) {
    folder.WriteToolbar(std::string(title) + ".rci", title, {1, 2});
    auto* bar = new CKRToolBar(&frame);
    ASSERT_EQ(bar->Load(folder.Addin(std::string(title) + ".rci"), ui), 1);
    frame.addToolBar(Qt::TopToolBarArea, bar);
    bars.push_back(bar);
  }
  EXPECT_TRUE(ui.Messages.empty());
  frame.insertToolBarBreak(bars[3]);  // Four in a row of its own
  frame.resize(800, 300);
  frame.show();
  QTest::qWait(20);
  ASSERT_EQ(bars[0]->y(), bars[2]->y());
  ASSERT_LT(bars[0]->y(), bars[3]->y());

  const std::string path = folder.Addin("barstatus.ini");
  bars[3]->hide();
  ASSERT_TRUE(SaveBarState(frame, bars, path));
  const std::vector<BarStateEntry> saved = ReadBarState(path);
  ASSERT_EQ(saved.size(), 4u);
  EXPECT_EQ(saved[0].Name, "One");
  EXPECT_EQ(saved[0].Top, saved[2].Top);
  EXPECT_EQ(saved[0].DockBarID, kDockBarTop);
  EXPECT_EQ(saved[0].Visible, kBarVisible);

  // Scatter them: each in its own row, in reverse order, all shown.
  for (int i = 3; i >= 0; --i) {
    frame.addToolBarBreak(Qt::TopToolBarArea);
    frame.addToolBar(Qt::TopToolBarArea, bars[i]);
    bars[i]->show();
  }
  QTest::qWait(20);
  ASSERT_GT(bars[0]->y(), bars[1]->y());

  RestoreBarState(frame, bars, path);
  QTest::qWait(20);
  EXPECT_EQ(bars[0]->y(), bars[1]->y());
  EXPECT_EQ(bars[1]->y(), bars[2]->y());
  EXPECT_LT(bars[0]->x(), bars[1]->x());
  EXPECT_LT(bars[1]->x(), bars[2]->x());
  EXPECT_TRUE(bars[3]->isHidden());
}

TEST(SampleAddinInTheEditor, ItsBarRaisesAndCountsTheSelectedNotes) {
  CScore generated;
  WorkloadOptions o;
  o.Systems = 2;
  o.StavesPerSystem = 2;
  o.MeasuresPerSystem = 3;
  o.NotesPerStaffMeasure = 4;
  GenerateWorkload(generated, o);
  const std::string path = ShotDir() + "/addin-test.q5s";
  ASSERT_TRUE(generated.SaveToFile(path));

  ScriptedUiHost ui;
  QuavixApp app(ui);
  ASSERT_TRUE(app.Start({QString::fromStdString(path)}));
  EXPECT_TRUE(ui.Messages.empty()) << ui.Messages.front();
  CMainFrame* frame = app.MainFrame();
  frame->resize(1100, 700);
  ASSERT_TRUE(app.Addins());
  CKRToolBar* bar = BarTitled(*app.Addins(), "\xca\xbe\xc0\xfd\xb2\xe5\xbc\xfe");  // 示例插件 in GBK
  ASSERT_TRUE(bar);
  bar->show();  // whatever an earlier run's layout said
  EXPECT_EQ(bar->windowTitle(), QString::fromUtf8("示例插件"));
  ASSERT_EQ(bar->ButtonIds(), (std::vector<int>{38000, 0, 38001}));
  QAction* raise = bar->ButtonAction(0);
  QAction* count = bar->ButtonAction(2);
  ASSERT_TRUE(raise && count);
  EXPECT_FALSE(raise->icon().isNull());
  EXPECT_EQ(raise->toolTip(), QString::fromUtf8("选中的音符升高半音"));
  EXPECT_EQ(bar->widgetForAction(raise)->accessibleName(), QString::fromUtf8("选中的音符升高半音"));
  EXPECT_EQ(bar->widgetForAction(count)->accessibleName(), QString::fromUtf8("统计选中的音符"));
  QTest::qWait(50);

  CScore& score = frame->ActiveView()->Document().Score();
  std::vector<CNote*> notes;
  for (const auto& object : score.Objects())
    if (object->GetKind() == CNote::kKind && notes.size() < 3) notes.push_back(static_cast<CNote*>(object.get()));
  ASSERT_EQ(notes.size(), 3u);
  std::vector<int> keys;
  for (CNote* note : notes) {
    note->Selected = 1;
    keys.push_back(note->Key);
  }
  score.RecountSelection();

  raise->trigger();
  score.UpdateDerived();
  for (size_t i = 0; i < notes.size(); ++i) EXPECT_EQ(notes[i]->Key, keys[i] + 1);

  // The count shows in a message box of the plug-in's own: read and close it.
  QString shown;
  QTimer answer;
  answer.setInterval(10);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->accept();
      answer.stop();
    }
  });
  answer.start();
  count->trigger();
  EXPECT_EQ(shown, QString::fromUtf8("选中了 3 个音符"));

  const QImage window = frame->grab().toImage();
  ASSERT_FALSE(window.isNull());
  window.save(QString::fromStdString(ShotDir() + "/editor-with-plugin-toolbar.png"));

  // The toolbar manager: a row per plug-in bar; a click hides the bar.
  CToolbarManagerDialog dialog(app.Addins()->ToolBars(), frame);
  dialog.show();
  QTest::qWait(20);
  QTableWidget* grid = dialog.Grid();
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("管理工具栏"));
  EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), QString::fromUtf8("工具栏名称"));
  EXPECT_EQ(grid->columnWidth(0), 30);
  int row = -1;
  for (int r = 0; r < grid->rowCount(); ++r)
    if (grid->item(r, 1)->text() == QString::fromUtf8("示例插件")) row = r;
  ASSERT_GE(row, 0);
  EXPECT_EQ(grid->item(row, 0)->text(), QString::fromUtf8("■"));
  dialog.grab().save(QString::fromStdString(ShotDir() + "/toolbar-manager.png"));
  const QRect cell = grid->visualItemRect(grid->item(row, 1));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_TRUE(bar->isHidden());
  EXPECT_EQ(grid->item(row, 0)->text(), QString::fromUtf8("□"));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(grid->item(row, 0)->text(), QString::fromUtf8("■"));
}

}  // namespace
