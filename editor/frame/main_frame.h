// The editor's main window: documents in an MDI area, the menus, the eight
// built-in toolbars and the status bar, all built from the command table.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QToolBar;
class CommandBinder;
class PlaybackCommands;
class CScoreEditDoc;
class CScoreEditView;
class RecentFileList;
class UiHost;
struct CommandContext;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  explicit CMainFrame(UiHost& ui);
  ~CMainFrame() override;

  // Commands the application object handles (new, open, exit, help, about,
  // plug-ins); true when handled.
  void SetAppHandler(std::function<bool(int)> handler) { appHandler_ = std::move(handler); }
  void SetRecentFiles(RecentFileList* recent);

  // Opens a file in a new child frame; reports a failure through the host and
  // leaves every open document as it was.
  bool OpenDocumentFile(const std::string& path);
  CScoreEditDoc* NewDocument();
  // Adds a document made elsewhere (a recovered one).
  CScoreEditView* AddDocument(std::unique_ptr<CScoreEditDoc> doc);
  // Another window on the active document (新建窗口); null without one.
  CScoreEditView* NewWindow();
  // The windows showing a document, in the area's order.
  std::vector<CScoreEditView*> ViewsOf(const CScoreEditDoc& doc) const;
  CScoreEditView* ActiveView() const;
  CScoreEditDoc* ActiveDocument() const;
  const std::vector<std::unique_ptr<CScoreEditDoc>>& Documents() const { return docs_; }
  QMdiArea* Area() const { return area_; }
  CommandBinder& Commands() { return *binder_; }
  UiHost& Ui() { return ui_; }

  // Runs a command by id through the view, the document, the frame and the
  // application, in that order.
  void OnCommand(int id);
  // Re-evaluates every enable and check rule.
  void RefreshCommands();
  CommandContext Context() const;

  // Save, save as and the question before closing a modified document; false
  // when the user cancelled or the save failed.
  bool SaveDocument(CScoreEditDoc& doc, bool askName);
  bool QueryCloseDocument(CScoreEditDoc& doc);
  // 关闭: every window of the document, asking once when it is modified;
  // false when cancelled.
  bool CloseDocument(CScoreEditDoc& doc);
  // Closes every document, asking for each modified one; false when cancelled.
  bool CloseAllDocuments();

  QToolBar* BarByControlId(int id) const;
  // Part play, keyboard recording and stop, with the frame's MIDI objects.
  PlaybackCommands& Playback() { return *playback_; }

 signals:
  void DocumentsChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool RunFrameCommand(int id);
  CScoreEditView* AddView(CScoreEditDoc& doc);
  QString WindowTitle(CScoreEditView& view) const;
  void UpdateTitles();
  void RebuildWindowMenu();
  void RebuildRecentMenu();
  void BuildStatusBar();

  UiHost& ui_;
  QMdiArea* area_;
  CommandBinder* binder_;
  std::vector<std::unique_ptr<CScoreEditDoc>> docs_;
  std::function<bool(int)> appHandler_;
  RecentFileList* recent_ = nullptr;
  std::vector<QAction*> recentActions_;
  std::vector<QAction*> windowActions_;
  QAction* recentSeparator_ = nullptr;
  QAction* windowSeparator_ = nullptr;
  std::vector<QLabel*> indicators_;
  int untitledCount_ = 0;
  bool clipboardHasScore_ = false;
  bool closingAll_ = false;
  std::unique_ptr<PlaybackCommands> playback_;
};
