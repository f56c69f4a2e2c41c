// The score view: a scrolling, zooming window that draws one score
// double-buffered and forwards mouse and keys to its controller.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QTimer>

#include "editor/view/score_cache.h"
#include "editor/view/tools/view_controller.h"

class CScoreEditDoc;
class QMenu;

class CScoreEditView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit CScoreEditView(CScoreEditDoc& doc, QWidget* parent = nullptr);

  CScoreEditDoc& Document() { return doc_; }
  ViewController& Controller() { return ctrl_; }
  // Scrollable size in score units: the wider of content and page plus 100;
  // the pages the content needs plus 50.
  QSize ScrollSize() const;
  void UpdateScrollSizes();
  // Renders the visible part as the window shows it (scroll in pixels).
  QImage Render(QSize size, QPoint scroll) const;

  // The current tool (0 the selection tool) and the selection mode (0 staves,
  // 1 notes, 2 graphics). A new mode clears the selection.
  int Tool() const { return ctrl_.Tool(); }
  void SetTool(int tool);
  int SelectionMode() const { return ctrl_.Mode(); }
  void SetSelectionMode(int mode);
  // Snap to the 4-unit grid, and the grid drawn under the score.
  void SetGrid(bool snap, const GridDisplay& grid);
  void ScrollToEnd();
  // The menu a right click opens (owned by the view).
  void SetContextMenu(QMenu* menu) { contextMenu_ = menu; }

  // Zoom factor, 0.25 to 8; `anchor` (viewport pixels) keeps its score point.
  double Zoom() const { return zoom_; }
  void SetZoom(double zoom, QPoint anchor);
  // Viewport pixels to score units and back, through scroll and zoom.
  ScorePoint ToScore(QPointF pos) const;
  QPoint ToViewport(ScorePoint p) const;

 signals:
  void StateChanged();
  // The selection changed through the mouse (the property views follow).
  void SelectionChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Apply(const ToolOutput& out);
  void MoveCaret(ScorePoint p);
  void AutoScroll();
  QPoint Scroll() const;

  CScoreEditDoc& doc_;
  ViewController ctrl_;
  Feedback feedback_;
  ScoreImageCache cache_;  // the score as drawn; feedback paints over it
  bool prefetchQueued_ = false;
  uint64_t changes_ = 0;  // the document's Changed signals so far
  double zoom_ = 1.0;
  QTimer autoScroll_;
  QMenu* contextMenu_ = nullptr;
};
