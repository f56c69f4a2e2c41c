// The editor's main window: documents in an MDI area, each in a child frame.
#pragma once

#include <QMainWindow>
#include <memory>
#include <vector>

class QMdiArea;
class CScoreEditDoc;
class CScoreEditView;
class UiHost;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  explicit CMainFrame(UiHost& ui);
  ~CMainFrame() override;

  // Opens a file in a new child frame; reports a failure through the host.
  bool OpenDocumentFile(const std::string& path);
  void NewDocument();
  CScoreEditView* ActiveView() const;
  QMdiArea* Area() const { return area_; }

 private:
  CScoreEditView* AddDocument(std::unique_ptr<CScoreEditDoc> doc);
  void BuildMenus();

  UiHost& ui_;
  QMdiArea* area_;
  std::vector<std::unique_ptr<CScoreEditDoc>> docs_;
};
