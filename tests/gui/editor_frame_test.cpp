// The editor as a user meets it: the frame with its menus and toolbars, the
// life of documents, the application commands and recovery after a crash,
// driven through the real main window offscreen.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "common/paths.h"
#include "editing/command_table.h"
#include "editor/app/addin_host.h"
#include "editor/app/application.h"
#include "editor/app/autosave.h"
#include "editor/app/recent_files.h"
#include "editor/app/score_document.h"
#include "editor/commands/command_binder.h"
#include "editor/commands/command_table.h"
#include "editor/frame/main_frame.h"
#include "editor/view/score_view.h"
#include "model/score.h"
#include "tests/scripted_ui_host.h"
#include "tools/scoregen/scoregen.h"

namespace fs = std::filesystem;

namespace {

std::string Scratch(const std::string& name) {
  const fs::path dir = fs::absolute("editor-frame-test") / std::to_string(getpid());
  fs::create_directories(dir);
  return (dir / name).string();
}

std::string ShotDir() {
  const char* dir = std::getenv("QUAVIX_SCREENSHOT_DIR");
  std::string out = dir ? dir : QUAVIX_DEFAULT_SCREENSHOT_DIR;
  fs::create_directories(out);
  return out;
}

std::string SmallScore(const std::string& name) {
  CScore score;
  WorkloadOptions o;
  o.Systems = 2;
  o.StavesPerSystem = 2;
  o.MeasuresPerSystem = 3;
  o.NotesPerStaffMeasure = 4;
  GenerateWorkload(score, o);
  const std::string path = Scratch(name);
  EXPECT_TRUE(score.SaveToFile(path));
  return path;
}

// Restores the real program folder when a test changed it.
struct ProgramFolder {
  explicit ProgramFolder(const std::string& dir) { qx::SetProgramDirectoryForTesting(dir); }
  ~ProgramFolder() { qx::SetProgramDirectoryForTesting(""); }
};

TEST(CommandTable, OneRowPerIdAndTheScoreCommandsKeepTheirTexts) {
  std::set<int> ids;
  for (const EditorCommand& c : EditorCommands()) EXPECT_TRUE(ids.insert(c.Id).second) << c.Id;
  // Every menu command of the editing engine has its row, with the same text.
  for (const ScoreCommand& s : ScoreCommands()) {
    if (!s.Id) continue;
    const EditorCommand* row = FindEditorCommand(s.Id);
    ASSERT_TRUE(row) << s.Id;
    if (s.Menu[0]) {
      EXPECT_STREQ(row->Text, s.Menu) << s.Id;
    }
    EXPECT_NE(row->Enable, EnableRule::Pending) << s.Id << " runs already";
  }
  // Every toolbar button names a command.
  for (const BuiltinToolBar& bar : BuiltinToolBars())
    for (int id : bar.Buttons) EXPECT_TRUE(id == 0 || FindEditorCommand(id)) << id;
  // With no document only application and frame commands can run.
  CommandContext none;
  for (const EditorCommand& c : EditorCommands())
    if (c.Scope == CommandScope::View || c.Scope == CommandScope::Document) {
      EXPECT_FALSE(IsEnabled(c, none)) << c.Id;
    }
  EXPECT_EQ(PlainMenuText("打开(&O)..."), "打开");
  EXPECT_EQ(PlainMenuText("断开符尾连线&K)"), "断开符尾连线K)");
}

TEST(EditorFrame, MenusToolbarsAndTheirStatesAsAUserSeesThem) {
  ScriptedUiHost ui;
  QuavixApp app(ui);
  ASSERT_TRUE(app.Start({QString::fromStdString(SmallScore("menus.q5s"))}, false));
  CMainFrame& frame = *app.MainFrame();
  frame.resize(1400, 900);
  frame.show();
  QTest::qWait(30);

  // The menu bar in its order, every menu row of the table reachable in it.
  QStringList titles;
  for (QAction* a : frame.menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles.join(","), QString::fromUtf8("文件(&F),编辑(&E),视图(&V),插入(&I),音符(&N),符号(&S),工具(&T),窗口(&W),帮助(&H)"));
  std::set<int> onMenus;
  for (QMenu* m : frame.menuBar()->findChildren<QMenu*>())
    for (QAction* a : m->actions()) onMenus.insert(a->data().toInt());
  for (const EditorCommand& c : EditorCommands())
    if (c.Menu[0] && !(c.Flags & kNoMenu)) {
      EXPECT_TRUE(onMenus.count(c.Id)) << c.Id;
    }

  // Screen readers announce every menu item by its visible text.
  QMenu* edit = frame.Commands().Menu(QString::fromUtf8("编辑(&E)"));
  QAccessibleInterface* menuAcc = QAccessible::queryAccessibleInterface(edit);
  ASSERT_TRUE(menuAcc);
  int named = 0;
  for (int i = 0; i < menuAcc->childCount(); ++i) {
    QAccessibleInterface* item = menuAcc->child(i);
    if (!item || item->role() == QAccessible::Separator) continue;
    const QAction* action = edit->actions().value(i);
    ASSERT_TRUE(action);
    EXPECT_EQ(item->text(QAccessible::Name), QString(action->text()).remove('&'));
    ++named;
  }
  EXPECT_GT(named, 20);

  // The eight built-in bars in four rows, the modern-notation bar hidden.
  std::vector<QToolBar*> bars;
  for (QToolBar* b : frame.findChildren<QToolBar*>())
    if (b->objectName().startsWith("toolbar-")) bars.push_back(b);
  ASSERT_EQ(bars.size(), 8u);
  QToolBar* standard = frame.BarByControlId(59392);
  ASSERT_TRUE(standard);
  EXPECT_EQ(standard->windowTitle(), QString::fromUtf8("标准工具栏"));
  EXPECT_FALSE(frame.findChild<QToolBar*>("toolbar-152")->isVisible());
  EXPECT_TRUE(frame.findChild<QToolBar*>("toolbar-142")->isVisible());
  // Every button has an image, and a tooltip that screen readers announce.
  int buttons = 0;
  for (QToolBar* bar : bars)
    for (QAction* a : bar->actions()) {
      if (a->isSeparator()) continue;
      ++buttons;
      EXPECT_FALSE(a->icon().isNull()) << a->data().toInt();
      QWidget* w = bar->widgetForAction(a);
      ASSERT_TRUE(w);
      EXPECT_FALSE(a->toolTip().isEmpty());
      EXPECT_EQ(w->accessibleName(), a->toolTip()) << a->data().toInt();
      if (QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(w)) {
        EXPECT_EQ(acc->text(QAccessible::Name), a->toolTip());
      }
    }
  int expected = 0;
  for (const BuiltinToolBar& def : BuiltinToolBars()) expected += int(def.Buttons.size() - std::count(def.Buttons.begin(), def.Buttons.end(), 0));
  EXPECT_EQ(buttons, expected);

  // Enable states follow the document: nothing selected, so delete and the
  // tuplets are off; select all turns them on.
  QAction* del = frame.Commands().Action(kIdEditClear);
  QAction* triplet = frame.Commands().Action(33033);
  EXPECT_FALSE(del->isEnabled());
  EXPECT_FALSE(frame.Commands().Action(kIdEditUndo)->isEnabled());
  frame.Commands().Action(kIdEditSelectAll)->trigger();
  EXPECT_TRUE(del->isEnabled());
  EXPECT_TRUE(triplet->isEnabled());
  frame.Commands().Action(33049)->trigger();  // 取消选择
  EXPECT_FALSE(del->isEnabled());
  // An edit can be undone and redone.
  CScoreEditDoc& doc = *frame.ActiveDocument();
  const size_t objects = doc.Score().ObjectCount();
  frame.Commands().Action(33122)->trigger();  // 插入小节
  EXPECT_GT(doc.Score().ObjectCount(), objects);
  ASSERT_TRUE(frame.Commands().Action(kIdEditUndo)->isEnabled());
  EXPECT_FALSE(frame.Commands().Action(kIdEditRedo)->isEnabled());
  frame.Commands().Action(kIdEditUndo)->trigger();
  frame.Commands().Action(kIdEditUndo)->trigger();
  EXPECT_EQ(doc.Score().ObjectCount(), objects);
  EXPECT_TRUE(frame.Commands().Action(kIdEditRedo)->isEnabled());
  // Commands whose behaviour is not built yet show and stay off.
  EXPECT_FALSE(frame.Commands().Action(33120)->isEnabled());

  // View toggles: the staff bar (32930) hides and shows with its check; the
  // bar that shares its id is not touched.
  QAction* staffToggle = frame.Commands().Action(32930);
  frame.RefreshCommands();
  EXPECT_TRUE(staffToggle->isChecked());
  staffToggle->trigger();
  EXPECT_FALSE(frame.findChild<QToolBar*>("toolbar-157")->isVisible());
  EXPECT_TRUE(frame.findChild<QToolBar*>("toolbar-142")->isVisible());
  EXPECT_FALSE(staffToggle->isChecked());
  staffToggle->trigger();
  EXPECT_TRUE(staffToggle->isChecked());
  frame.Commands().Action(59393)->trigger();
  EXPECT_FALSE(frame.statusBar()->isVisible());
  frame.Commands().Action(59393)->trigger();

  // Tools and modes: the note mode is checked, a new mode checks instead.
  EXPECT_TRUE(frame.Commands().Action(kIdModeNote)->isChecked());
  frame.Commands().Action(kIdModeStaff)->trigger();
  EXPECT_TRUE(frame.Commands().Action(kIdModeStaff)->isChecked());
  EXPECT_FALSE(frame.Commands().Action(kIdModeNote)->isChecked());
  // 单附点 and 双附点 exclude each other.
  frame.Commands().Action(kIdDotSingle)->trigger();
  frame.Commands().Action(kIdDotDouble)->trigger();
  EXPECT_FALSE(frame.Commands().Action(kIdDotSingle)->isChecked());
  EXPECT_TRUE(frame.Commands().Action(kIdDotDouble)->isChecked());
  frame.Commands().Action(kIdDotDouble)->trigger();
  // Voice buttons.
  frame.Commands().Action(33203)->trigger();
  EXPECT_TRUE(frame.Commands().Action(33203)->isChecked());
  EXPECT_EQ(frame.ActiveDocument()->Score().Voice, 2);
  frame.Commands().Action(33201)->trigger();

  // Hovering a command shows its status text.
  frame.Commands().Action(kIdFileSave)->showStatusText(&frame);
  EXPECT_EQ(frame.statusBar()->currentMessage(), QString::fromUtf8("保存当前乐谱"));

  const QImage shot = frame.grab().toImage();
  shot.save(QString::fromStdString(ShotDir() + "/editor-frame.png"));
  // The notes menu, opened, for a person to look at.
  QMenu* notes = frame.Commands().Menu(QString::fromUtf8("音符(&N)"));
  notes->popup(frame.mapToGlobal(QPoint(300, 30)));
  QTest::qWait(30);
  notes->grab().save(QString::fromStdString(ShotDir() + "/editor-menu-notes.png"));
  notes->hide();
}

TEST(EditorFrame, DocumentsOpenSaveCloseAndRememberTheirFiles) {
  ScriptedUiHost ui;
  QuavixApp app(ui);
  const std::string a = SmallScore("a.q5s"), b = SmallScore("b.q5s");
  const std::string bad = Scratch("bad.q5s");
  std::ofstream(bad) << "SCOR\x01\x02";
  const std::string old = Scratch("old.q5s");
  {
    CScore score;
    GenerateWorkload(score, WorkloadOptions{});
    ASSERT_TRUE(score.SaveToFile(old));
    // The version word after the file type: 2.0.0.0.
    std::fstream f(old, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4);
    const char version[4] = {0, 0, 0, 2};
    f.write(version, 4);
  }
  ASSERT_TRUE(app.Start({QString::fromStdString(a), QString::fromStdString(bad), QString::fromStdString(old),
                         QString::fromStdString(b)},
                        false));
  CMainFrame& frame = *app.MainFrame();
  // The good files open; the others say why, in Chinese.
  EXPECT_EQ(frame.Area()->subWindowList().size(), 2);
  ASSERT_EQ(ui.Messages.size(), 2u);
  EXPECT_NE(ui.Messages[0].find("无法打开文件 " + bad), std::string::npos);
  EXPECT_NE(ui.Messages[0].find("文件"), std::string::npos);
  EXPECT_NE(ui.Messages[1].find("不支持的文件版本 2.0.0.0（只能读取 3.8.0.0 版）"), std::string::npos) << ui.Messages[1];

  // An edit marks the document and the titles.
  CScoreEditDoc* doc = frame.ActiveDocument();
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->Path(), b);
  const size_t before = doc->Score().ObjectCount();
  frame.OnCommand(33122);  // 插入小节 at the caret
  EXPECT_GT(doc->Score().ObjectCount(), before);
  EXPECT_TRUE(doc->IsModified());
  EXPECT_TRUE(frame.isWindowModified());
  EXPECT_TRUE(frame.windowTitle().startsWith("b.q5s[*]"));

  // Save as writes a file that opens with the change; the mark goes.
  const std::string copy = Scratch("b-copy.q5s");
  ui.SaveNames.push_back(copy);
  frame.OnCommand(kIdFileSaveAs);
  EXPECT_FALSE(doc->IsModified());
  EXPECT_EQ(doc->Path(), copy);
  CScore reread;
  ASSERT_TRUE(reread.LoadFromFile(copy));
  EXPECT_EQ(reread.ObjectCount(), doc->Score().ObjectCount());
  // A save that cannot be written says why and keeps the mark.
  frame.OnCommand(33122);
  ui.SaveNames.push_back("/nonexistent-folder/x.q5s");
  frame.OnCommand(kIdFileSaveAs);
  EXPECT_TRUE(doc->IsModified());
  EXPECT_NE(ui.Messages.back().find("无法保存文件 /nonexistent-folder/x.q5s"), std::string::npos);
  EXPECT_NE(ui.Messages.back().find("文件或文件夹不存在"), std::string::npos) << ui.Messages.back();

  // 新建窗口: a second window on the same document, titled name:2; closing
  // one of the two asks nothing and keeps the document.
  frame.OnCommand(kIdWindowNew);
  ASSERT_EQ(frame.Area()->subWindowList().size(), 3);
  EXPECT_EQ(frame.ActiveDocument(), doc);
  EXPECT_EQ(frame.Area()->activeSubWindow()->windowTitle(), "b-copy.q5s:2[*]");
  frame.Area()->activeSubWindow()->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QTest::qWait(1);
  EXPECT_EQ(frame.Area()->subWindowList().size(), 2);
  EXPECT_TRUE(ui.Questions.empty());
  EXPECT_EQ(frame.Documents().size(), 2u);
  EXPECT_EQ(frame.Area()->activeSubWindow()->windowTitle(), "b-copy.q5s[*]");

  // Closing a modified document asks once for all its windows; Cancel keeps
  // it, No closes it unsaved.
  frame.OnCommand(kIdWindowNew);
  ui.Answers = {UiHost::Answer::Cancel};
  frame.OnCommand(kIdFileClose);
  QTest::qWait(1);
  EXPECT_EQ(frame.Area()->subWindowList().size(), 3);
  ASSERT_EQ(ui.Questions.size(), 1u);
  EXPECT_EQ(ui.Questions[0], "是否保存对“b-copy.q5s”的修改？");
  ui.Answers = {UiHost::Answer::No};
  frame.OnCommand(kIdFileClose);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QTest::qWait(1);
  EXPECT_EQ(ui.Questions.size(), 2u);
  EXPECT_EQ(frame.Area()->subWindowList().size(), 1);
  EXPECT_EQ(frame.Documents().size(), 1u);

  // The recent files, newest first, survive a restart of the program.
  {
    QSettings settings;
    RecentFileList recent(settings);
    ASSERT_GE(recent.Files().size(), 2);
    EXPECT_EQ(recent.Files()[0], QString::fromStdString(copy));
  }
  // Copy the whole of one score and paste its systems into a new one.
  QAction* paste = frame.Commands().Action(33036);
  frame.OnCommand(kIdEditSelectAll);
  frame.OnCommand(kIdEditCopy);
  const size_t copied = frame.ActiveDocument()->Score().ObjectCount();
  CScoreEditDoc* fresh = frame.NewDocument();
  const size_t empty = fresh->Score().ObjectCount();
  frame.RefreshCommands();
  ASSERT_TRUE(paste->isEnabled());
  paste->trigger();
  EXPECT_GT(fresh->Score().ObjectCount(), empty + copied / 2);
  EXPECT_TRUE(fresh->IsModified());
  frame.OnCommand(kIdEditUndo);
  EXPECT_EQ(fresh->Score().ObjectCount(), empty);

  // The score goes out as MusicXML from the file menu.
  const std::string xml = Scratch("b.musicxml");
  ui.SaveNames.push_back(xml);
  frame.OnCommand(kIdExportMusicXml);
  std::ifstream exported(xml);
  std::string head((std::istreambuf_iterator<char>(exported)), std::istreambuf_iterator<char>());
  EXPECT_NE(head.find("<score-partwise version=\"4.0\">"), std::string::npos);
  // ... and comes back in through the menu as a new, unsaved document.
  const size_t open = frame.Documents().size();
  ui.OpenNames.push_back(xml);
  frame.OnCommand(kIdImportMusicXml);
  ASSERT_EQ(frame.Documents().size(), open + 1);
  EXPECT_TRUE(frame.ActiveDocument()->IsModified());
  EXPECT_TRUE(frame.ActiveDocument()->Path().empty());

  // The window menu lists the open documents.
  QMenu* window = frame.Commands().Menu(QString::fromUtf8("窗口(&W)"));
  emit window->aboutToShow();
  QStringList names;
  for (QAction* act : window->actions()) names << act->text();
  EXPECT_TRUE(names.contains("&1 a.q5s")) << names.join("|").toStdString();
}

TEST(EditorApp, StartsInOrderAndAnswersHelpHomepageAboutAndPlay) {
  ScriptedUiHost ui;
  QuavixApp app(ui);
  std::vector<QUrl> opened;
  app.SetUrlOpener([&](const QUrl& u) {
    opened.push_back(u);
    return true;
  });
  ASSERT_TRUE(app.Start({}, false));
  EXPECT_EQ(app.Steps(), (std::vector<std::string>{"profile", "glyph table", "template", "frame", "command line",
                                                    "show", "plug-ins and bar state"}));
  // The sample plug-in beside the editor brought its tool bar.
  ASSERT_TRUE(app.Addins());
  EXPECT_FALSE(app.Addins()->ToolBars().empty());
  EXPECT_TRUE(ui.Messages.empty());
  CMainFrame& frame = *app.MainFrame();
  ASSERT_EQ(frame.Documents().size(), 1u);
  EXPECT_EQ(frame.ActiveDocument()->Title(), QString::fromUtf8("无标题1"));

  // The shipped settings name a homepage.
  frame.OnCommand(kIdHomepage);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].scheme(), "https");

  // Elsewhere, the files the commands need are missing, or the key is unset.
  const std::string folder = Scratch("program/");
  fs::create_directories(folder);
  ProgramFolder at(folder);
  std::ofstream(folder + "quavix.ini") << "[Register]\r\nHomepage =https://x.invalid/\r\nProductName=Test\r\n";
  frame.OnCommand(kIdHomepage);
  frame.OnCommand(kIdHelp);
  frame.OnCommand(kIdPlay);
  ASSERT_EQ(ui.Messages.size(), 3u);
  EXPECT_EQ(ui.Messages[0], "未设置产品主页地址[Register/Homepage]");  // "Homepage " is another key
  EXPECT_EQ(ui.Messages[1], "没有找到 help\\index.htm");
  EXPECT_EQ(ui.Messages[2], "没有找到 pelmora");
  EXPECT_EQ(opened.size(), 1u);

  // The player is started with the score saved beside the editor.
  const std::string args = folder + "args.txt";
  {
    std::ofstream player(folder + "pelmora");
    player << "#!/bin/sh\nprintf '%s' \"$1\" > '" << args << "'\n";
  }
  fs::permissions(folder + "pelmora", fs::perms::owner_all);
  frame.OnCommand(kIdPlay);
  for (int i = 0; i < 100 && !fs::exists(args); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::string handed;
  std::ifstream(args) >> handed;
  EXPECT_EQ(handed, qx::TempFilePath("~~quavix.q5s"));
  CScore copy;
  EXPECT_TRUE(copy.LoadFromFile(handed));
  EXPECT_EQ(copy.ObjectCount(), frame.ActiveDocument()->Score().ObjectCount());

  // Help opens the page when it is there.
  fs::create_directories(folder + "help");
  std::ofstream(folder + "help/index.htm") << "<html></html>";
  frame.OnCommand(kIdHelp);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[1].toLocalFile().toStdString(), folder + "help/index.htm");
}

// The editor is killed after an edit; the next start offers what autosave
// kept and restores it under the file's own name, marked modified.
TEST(EditorApp, AfterAKillTheNextStartRestoresTheAutosavedScore) {
  const std::string file = SmallScore("crash.q5s");
  const std::string data = Scratch("crash-data");
  fs::remove_all(data);
  const std::string recovery = data + "/quavix/recovery";
  CScore original;
  ASSERT_TRUE(original.LoadFromFile(file));

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("QUAVIX_AUTOSAVE_SECONDS", "1", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    execl(QUAVIX_EDITOR_BINARY, QUAVIX_EDITOR_BINARY, file.c_str(), "--command", "33122", (char*)nullptr);
    _exit(127);
  }
  bool written = false;
  for (int i = 0; i < 300 && !written; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::error_code ec;
    if (fs::is_directory(recovery, ec))
      for (const auto& e : fs::directory_iterator(recovery, ec)) written |= e.path().extension() == ".ini";
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the score is written after its note
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(written) << "no recovery file in " << recovery;

  const std::string saved = std::getenv("XDG_DATA_HOME");
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  ScriptedUiHost ui;
  ui.Answers = {UiHost::Answer::Yes};
  {
    QuavixApp app(ui);
    ASSERT_TRUE(app.Start({}, false));
    ASSERT_EQ(ui.Questions.size(), 1u);
    EXPECT_NE(ui.Questions[0].find(file), std::string::npos);
    CMainFrame& frame = *app.MainFrame();
    ASSERT_EQ(frame.Documents().size(), 1u);  // the recovered one instead of a new one
    CScoreEditDoc& doc = *frame.Documents()[0];
    EXPECT_EQ(doc.Path(), file);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_GT(doc.Score().ObjectCount(), original.ObjectCount());  // the inserted measure is back
    EXPECT_TRUE(fs::is_empty(recovery));
  }
  setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

}  // namespace
