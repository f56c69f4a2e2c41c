// The score view: a scrolling window that draws one score double-buffered.
#pragma once

#include <QAbstractScrollArea>

class CScoreEditDoc;
class QMenu;

class CScoreEditView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit CScoreEditView(CScoreEditDoc& doc, QWidget* parent = nullptr);

  CScoreEditDoc& Document() { return doc_; }
  // Scrollable size: the wider of content and page plus 100; the pages the
  // content needs plus 50.
  QSize ScrollSize() const;
  void UpdateScrollSizes();
  // Renders the visible part as the window shows it.
  QImage Render(QSize size, QPoint scroll) const;

  // The current tool (0 the selection tool) and the selection mode (0 staves,
  // 1 notes, 2 graphics). A new mode clears the selection.
  int Tool() const { return tool_; }
  int SelectionMode() const { return mode_; }
  void SetSelectionMode(int mode);
  void ScrollToEnd();
  // The menu a right click opens (owned by the view).
  void SetContextMenu(QMenu* menu) { contextMenu_ = menu; }

 signals:
  void StateChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  CScoreEditDoc& doc_;
  int tool_ = 0;
  int mode_ = 1;
  QMenu* contextMenu_ = nullptr;
};
