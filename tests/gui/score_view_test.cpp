// Editing in the score view as a user does it, through the real main window
// offscreen: tools chosen on the toolbars, clicks on staff lines, undo and
// redo, rectangle selection and moves, the clipboard between two documents,
// zoom, and printing to PDF.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QSpinBox>
#include <QTimer>
#include <functional>
#include <QFile>
#include <QMdiArea>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <filesystem>

#include "editor/app/application.h"
#include "editor/app/score_document.h"
#include "editor/commands/command_binder.h"
#include "editor/frame/main_frame.h"
#include "common/paths.h"
#include "editor/dialogs/grid_dialog.h"
#include "editor/dialogs/score_browser.h"
#include "editor/view/form_view.h"
#include "editor/view/print_job.h"
#include "editor/view/score_view.h"
#include "editing/insert.h"
#include "model/page_objects.h"
#include "model/notes.h"
#include "model/score.h"
#include "model/structure.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"
#include "platform/score_pdf.h"
#include "tests/scripted_ui_host.h"

namespace fs = std::filesystem;

namespace {

std::string ShotDir() {
  const char* dir = std::getenv("QUAVIX_SCREENSHOT_DIR");
  std::string out = dir ? dir : QUAVIX_DEFAULT_SCREENSHOT_DIR;
  fs::create_directories(out);
  return out;
}

void Shot(CMainFrame& frame, const char* name) {
  frame.grab().save(QString::fromStdString(ShotDir() + "/" + name + ".png"));
}

std::vector<CNote*> Notes(CScoreEditDoc& doc) {
  std::vector<CNote*> out;
  for (const auto& o : doc.Score().Objects())
    if (o->GetKind() == Kind::Note) out.push_back(static_cast<CNote*>(o.get()));
  return out;
}

struct Mouse {
  CScoreEditView& view;
  QWidget* port() { return view.viewport(); }
  QPoint At(int x, int y) { return view.ToViewport({x, y}); }
  void Click(int x, int y, Qt::KeyboardModifiers mods = {}) { QTest::mouseClick(port(), Qt::LeftButton, mods, At(x, y)); }
  void RightClick(int x, int y) { QTest::mouseClick(port(), Qt::RightButton, {}, At(x, y)); }
  void Drag(ScorePoint a, ScorePoint b, CMainFrame* frame = nullptr, const char* shot = nullptr) {
    QTest::mousePress(port(), Qt::LeftButton, {}, At(a.X, a.Y));
    QTest::mouseMove(port(), At((a.X + b.X) / 2, (a.Y + b.Y) / 2));
    QTest::mouseMove(port(), At(b.X, b.Y));
    if (shot) Shot(*frame, shot);
    QTest::mouseRelease(port(), Qt::LeftButton, {}, At(b.X, b.Y));
  }
};

// The number of pages in a PDF file: its page objects.
int PdfPages(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return -1;
  const QByteArray data = file.readAll();
  return data.count("/Type /Page\n") + data.count("/Type /Page ") + data.count("/Type /Page>") +
         data.count("/Type/Page\n") + data.count("/Type/Page/");
}

TEST(ScoreView, EditingThroughTheMainWindow) {
  ScriptedUiHost ui;
  QuavixApp app(ui);
  ASSERT_TRUE(app.Start({}, false));
  CMainFrame& frame = *app.MainFrame();
  frame.resize(1400, 900);
  frame.show();
  CScoreEditDoc& doc = *frame.NewDocument();
  CScoreEditView& view = *frame.ActiveView();
  CScore& score = doc.Score();
  QTest::qWait(30);

  // A piano staff at the caret below the first system.
  const int systems = static_cast<int>(score.Staffs.size());
  doc.SetCaret(score.LeftMargin, score.Staffs.back()->Bottom + 60);
  frame.OnCommand(33116);
  ASSERT_EQ(static_cast<int>(score.Staffs.size()), systems + 1);

  // The quarter-note tool from its toolbar button: checked, the view's tool.
  QToolBar* notesBar = frame.findChild<QToolBar*>("toolbar-137");
  ASSERT_TRUE(notesBar);
  QAction* quarter = frame.Commands().Action(34303);
  ASSERT_TRUE(quarter->isEnabled());
  QTest::mouseClick(notesBar->widgetForAction(quarter), Qt::LeftButton);
  EXPECT_EQ(view.Tool(), 34303);
  EXPECT_TRUE(quarter->isChecked());
  // The dot toggles never change the tool.
  frame.OnCommand(34516);
  EXPECT_EQ(view.Tool(), 34303);
  frame.OnCommand(34516);

  // Notes on the top line (F5), the middle line (B4) and, zoomed in, the
  // bottom line (E4) of the treble stave.
  Mouse mouse{view};
  const CStave* treble = score.Staffs[0]->Staves[0];
  const int x0 = score.Staffs[0]->Measures[0]->Left + 24;
  const int undoBase = doc.Journal().Count();
  mouse.Click(x0 + 1, treble->Top + 1);
  mouse.Click(x0 + 40, treble->Top + 15);
  view.SetZoom(2.0, mouse.At(x0 + 80, treble->Top));
  EXPECT_EQ(view.Zoom(), 2.0);
  mouse.Click(x0 + 80, treble->Bottom);
  std::vector<CNote*> notes = Notes(doc);
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0]->Key, 77);
  EXPECT_EQ(notes[1]->Key, 71);
  EXPECT_EQ(notes[2]->Key, 64);
  EXPECT_EQ(doc.Journal().Count(), undoBase + 3);
  Shot(frame, "score-view-notes-zoomed");
  // Ctrl+wheel zooms about the mouse: the score point under it stays put.
  const QPoint under = mouse.At(x0 + 40, treble->Top);
  QWheelEvent wheel(QPointF(under), QPointF(mouse.port()->mapToGlobal(under)), {}, {0, 120}, Qt::NoButton,
                    Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(mouse.port(), &wheel);
  EXPECT_EQ(view.Zoom(), 2.5);
  EXPECT_EQ(mouse.At(x0 + 40, treble->Top), under);
  view.SetZoom(2.0, under);
  // Ctrl+minus zooms out again around the centre.
  view.setFocus();
  QTest::keyClick(&view, Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_NEAR(view.Zoom(), 1.6, 1e-9);
  view.SetZoom(1.0, {0, 0});

  // Undo takes back one note, redo brings it back.
  frame.OnCommand(57643);
  EXPECT_EQ(Notes(doc).size(), 2u);
  frame.OnCommand(57644);
  EXPECT_EQ(Notes(doc).size(), 3u);
  // Commands with no effect change nothing.
  const std::vector<uint8_t> before = score.SnapshotToBytes();
  for (int id : {33040, 33041, 33046}) frame.OnCommand(id);
  EXPECT_EQ(score.SnapshotToBytes(), before);

  // The journal rebuilt the score: find the stave again.
  treble = score.Staffs[0]->Staves[0];
  // A right click after two slur clicks cancels the slur and opens no menu;
  // one with nothing to cancel opens the context menu.
  frame.OnCommand(34005);
  mouse.Click(x0, treble->Top - 30);
  mouse.Click(x0 + 60, treble->Top - 30);
  QTest::mouseMove(mouse.port(), mouse.At(x0 + 30, treble->Top - 48));
  Shot(frame, "score-view-slur-feedback");
  mouse.RightClick(x0 + 30, treble->Top - 40);
  EXPECT_EQ(view.Tool(), 0);
  EXPECT_FALSE(QApplication::activePopupWidget());
  EXPECT_EQ(doc.Journal().Count(), undoBase + 3);
  mouse.RightClick(x0, treble->Top - 30);
  QWidget* popup = QApplication::activePopupWidget();
  ASSERT_TRUE(popup);
  popup->close();

  // A rectangle around the notes selects them; dragging one moves them all.
  const CMeasure* first = score.Staffs[0]->Measures[0];
  mouse.Drag({first->Left + 2, treble->Top - 60}, {first->Right - 2, treble->Bottom + 40}, &frame,
             "score-view-rectangle");
  notes = Notes(doc);
  for (CNote* n : notes) EXPECT_TRUE(n->Selected);
  const int top = notes[0]->Top;
  const int journal = doc.Journal().Count();
  mouse.Drag({notes[0]->Left + 3, notes[0]->Top + 4}, {notes[0]->Left + 3, notes[0]->Top - 4}, &frame,
             "score-view-move");
  EXPECT_EQ(Notes(doc)[0]->Top, top - 8);
  EXPECT_EQ(doc.Journal().Count(), journal + 1);
  Shot(frame, "score-view-moved");

  // Copy here, paste into a second document at its caret.
  frame.OnCommand(57634);
  CScoreEditDoc& other = *frame.NewDocument();
  QTest::qWait(20);
  const CStave* otherTreble = other.Score().Staffs[0]->Staves[0];
  other.SetCaret(other.Score().Staffs[0]->Measures[0]->Left + 20, otherTreble->Top);
  frame.OnCommand(57637);
  EXPECT_EQ(Notes(other).size(), 3u);
  EXPECT_TRUE(other.IsModified());

  // Printed to PDF: one page per page of the score, the last page included.
  frame.Area()->activatePreviousSubWindow();
  ASSERT_EQ(&frame.ActiveView()->Document(), &doc);
  for (int i = 0; i < 6; ++i) {
    doc.SetCaret(score.LeftMargin, score.Staffs.back()->Bottom + 60);
    frame.OnCommand(33116);
  }
  const int pages = ScorePageCount(score);
  EXPECT_GE(pages, 2);
  const std::string pdf = ShotDir() + "/score-view-" + std::to_string(getpid()) + ".pdf";
  ui.SaveNames.push_back(pdf);
  frame.OnCommand(kIdFilePrintPdf);
  EXPECT_EQ(PdfPages(pdf), pages);
  fs::remove(pdf);
  // The MIDI export writes the performance of the three notes.
  const std::string mid = ShotDir() + "/score-view-" + std::to_string(getpid()) + ".mid";
  ui.SaveNames.push_back(mid);
  frame.OnCommand(32945);
  CMidiSequence sequence;
  std::string problem;
  ASSERT_EQ(ReadMidiFile(sequence, mid, &problem), 1) << problem;
  int noteOns = 0;
  for (const MidiEventRec& e : sequence.Events) noteOns += e.IsNoteOn() && e.Data2 > 0;
  EXPECT_EQ(noteOns, 3);
  fs::remove(mid);
  EXPECT_TRUE(ui.Messages.empty());
  for (auto& d : frame.Documents()) d->SetModified(false);
}

// Accepts the next modal dialog of type T after `edit` has set its controls.
template <class T>
void WhenShown(std::function<void(T&)> edit) {
  QTimer::singleShot(0, [edit] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    ASSERT_TRUE(dialog);
    edit(*dialog);
    dialog->accept();
  });
}

// The grid dialog draws a dotted grid and switches snapping; 浏览 shows the
// score in a browser whose links act as buttons; the print dialog prints
// every page.
TEST(ScoreView, GridBrowserAndPrintDialog) {
  ScriptedUiHost ui;
  QuavixApp app(ui);
  ASSERT_TRUE(app.Start({}, false));
  CMainFrame& frame = *app.MainFrame();
  frame.resize(1200, 800);
  frame.show();
  CScoreEditDoc& doc = *frame.NewDocument();
  CScoreEditView& view = *frame.ActiveView();
  CScore& score = doc.Score();
  QTest::qWait(30);

  // Below the systems the page is blank: white without the grid, grid dots
  // every 20 units with it.
  const int y = (score.Staffs.back()->Bottom / 80 + 2) * 80;
  const auto pixel = [&](int x, int yy) { return view.Render(view.viewport()->size(), {0, 0}).pixel(x, yy) & 0xFFFFFF; };
  EXPECT_EQ(pixel(200, y), 0xFFFFFFu);
  WhenShown<GridDialog>([](GridDialog& d) {
    for (QCheckBox* box : d.findChildren<QCheckBox*>()) box->setChecked(box->text() == QString::fromUtf8("显示网格"));
    for (QSpinBox* box : d.findChildren<QSpinBox*>()) box->setValue(20);
  });
  frame.OnCommand(32942);
  EXPECT_TRUE(view.Controller().grid.Show);
  EXPECT_FALSE(view.Controller().snap);
  EXPECT_EQ(pixel(200, y), 0xA8B8D0u);
  EXPECT_EQ(pixel(210, y), 0xFFFFFFu);
  EXPECT_EQ(view.Controller().Snap({13, 6}).X, 13);
  // Zoomed out, dots 8 units apart would crowd: every second one is left out.
  view.SetZoom(0.25, {0, 0});
  view.SetGrid(false, {true, 8, 8});
  EXPECT_EQ(pixel(50, y / 4), 0xFFFFFFu);  // (200, y)
  EXPECT_EQ(pixel(48, y / 4), 0xA8B8D0u);  // (192, y)
  view.SetZoom(1.0, {0, 0});
  Shot(frame, "score-view-grid");

  // The browser: the score as written to "~~score.stv", view only.
  CXLink* link = InsertXLink(score, 200, y);
  link->href = "IDV_TEST";
  frame.OnCommand(32964);
  auto* browser = frame.findChild<ScoreBrowser*>();
  ASSERT_TRUE(browser);
  EXPECT_TRUE(browser->isVisible());
  EXPECT_TRUE(fs::exists(qx::TempFilePath("~~score.stv")));
  CKRScoreView& form = browser->View();
  EXPECT_EQ(form.Score().Objects().size(), score.Objects().size());
  QString clicked;
  QObject::connect(&form, &CKRScoreView::Clicked, [&](const CStaveObject*, const QString& c) { clicked = c; });
  ASSERT_TRUE(QTest::qWaitForWindowExposed(browser));
  form.verticalScrollBar()->setValue(link->Top - 50);
  const QPoint onLink(link->Left + 5, link->Top + 5 - form.verticalScrollBar()->value());
  const auto hover = [&](QPoint p) {
    QMouseEvent move(QEvent::MouseMove, p, form.viewport()->mapToGlobal(p), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(form.viewport(), &move);
  };
  hover(onLink);
  ASSERT_TRUE(form.Hovered());
  EXPECT_EQ(form.Hovered()->Style & STYLE_FRAMED, STYLE_FRAMED);
  QTest::mouseClick(form.viewport(), Qt::LeftButton, {}, onLink);
  EXPECT_EQ(clicked, "IDV_TEST");
  hover({5, 5});
  EXPECT_FALSE(form.Hovered());
  browser->grab().save(QString::fromStdString(ShotDir() + "/score-browser.png"));
  browser->close();

  // Print (Ctrl+P) through the print dialog to its file printer.
  const std::string pdf = ShotDir() + "/print-dialog-" + std::to_string(getpid()) + ".pdf";
  SharedPrinter().setOutputFormat(QPrinter::PdfFormat);
  SharedPrinter().setOutputFileName(QString::fromStdString(pdf));
  WhenShown<QPrintDialog>([](QPrintDialog&) {});
  frame.OnCommand(57607);
  EXPECT_EQ(PdfPages(pdf), ScorePageCount(score));
  fs::remove(pdf);
  EXPECT_TRUE(ui.Messages.empty());
  doc.SetModified(false);
}

// Each press records exactly one snapshot, in order, of the score as the
// edit left it; the views repaint before the snapshot is packed, and undo
// still steps back one press at a time, even when presses come faster than
// the packing.
TEST(ScoreView, EachPressRecordsItsSnapshotAndThePackingWaitsForTheRepaint) {
  ScriptedUiHost ui;
  QuavixApp app(ui);
  ASSERT_TRUE(app.Start({}, false));
  CMainFrame& frame = *app.MainFrame();
  frame.resize(1200, 800);
  frame.show();
  CScoreEditDoc& doc = *frame.NewDocument();
  CScoreEditView& view = *frame.ActiveView();
  CScore& score = doc.Score();
  QTest::qWait(30);
  view.SetTool(34303);
  Mouse mouse{view};

  struct PaintProbe : QObject {
    CScoreEditDoc* doc;
    int paints = 0, paintsWithSnapshotHeld = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) {
        ++paints;
        paintsWithSnapshotHeld += doc->Journal().HasUnstored() ? 1 : 0;
      }
      return false;
    }
  } probe;
  probe.doc = &doc;
  view.viewport()->installEventFilter(&probe);

  const int base = doc.Journal().Count();
  const CStave* treble = score.Staffs[0]->Staves[0];
  const int x0 = score.Staffs[0]->Measures[0]->Left + 24;
  std::vector<std::vector<uint8_t>> after;
  for (int i = 0; i < 5; ++i) {
    // Three quarters in the first measure, two in the second.
    mouse.Click(score.Staffs[0]->Measures[static_cast<size_t>(i / 3)]->Left + 24 + 40 * (i % 3), treble->Top + 4 * i);
    after.push_back(score.SnapshotToBytes());
    ASSERT_EQ(doc.Journal().Count(), base + i + 1);
    EXPECT_TRUE(doc.Journal().HasUnstored());
    if (i == 2) continue;  // the next press comes before the event loop runs
    const int paints = probe.paints;
    QCoreApplication::processEvents();
    EXPECT_GT(probe.paints, paints);
    EXPECT_FALSE(doc.Journal().HasUnstored());
  }
  EXPECT_EQ(Notes(doc).size(), 5u);
  EXPECT_EQ(probe.paintsWithSnapshotHeld, 4);  // every press's repaint came first
  // Presses after the first recalculate only their stave; the full pass
  // finds nothing to change.
  const std::vector<uint8_t> bytes = score.SnapshotToBytes();
  score.UpdateDerived();
  EXPECT_EQ(score.SnapshotToBytes(), bytes);
  for (int i = 0; i < 5; ++i) {
    std::vector<uint8_t> data;
    ASSERT_TRUE(doc.Journal().EntryData(base + i, data));
    EXPECT_EQ(data, after[static_cast<size_t>(i)]) << "press " << i;
  }
  // Undo steps back press by press; a new press replaces the redo tail.
  for (size_t left = 4; left >= 3; --left) {
    frame.OnCommand(57643);
    EXPECT_EQ(Notes(doc).size(), left);
  }
  // Undo rebuilt the score: the stave is looked up again.
  mouse.Click(x0 + 160, score.Staffs[0]->Staves[0]->Top + 8);
  EXPECT_EQ(doc.Journal().Count(), base + 4);
  EXPECT_EQ(doc.Journal().Position(), base + 4);
  std::vector<uint8_t> data;
  ASSERT_TRUE(doc.Journal().EntryData(base + 3, data));
  EXPECT_EQ(data, score.SnapshotToBytes());
  view.viewport()->removeEventFilter(&probe);
  for (auto& d : frame.Documents()) d->SetModified(false);
}

}  // namespace
