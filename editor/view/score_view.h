// The score view: a scrolling window that draws one score double-buffered.
#pragma once

#include <QAbstractScrollArea>

class CScoreEditDoc;

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

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  CScoreEditDoc& doc_;
};
