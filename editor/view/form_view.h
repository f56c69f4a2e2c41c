// The score-form view: a scrolling window that shows a score of its own as a
// picture (a form). Its links and images with a command act as buttons: the
// one under the mouse is drawn framed and shows the hand cursor, and a left
// click reports it. The score browser shows a whole score this way.
#pragma once

#include <QAbstractScrollArea>
#include <memory>
#include <string>

#include "editor/view/score_cache.h"

class CScore;
class CStaveObject;

class CKRScoreView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit CKRScoreView(QWidget* parent = nullptr);
  ~CKRScoreView() override;

  // Loads the form with the score's own loader and version check; on failure
  // the view shows an empty form and `error` says why.
  bool LoadForm(const std::string& path, std::string* error = nullptr);
  CScore& Score() { return *score_; }
  const std::string& Path() const { return path_; }
  // The form's size in units (its extent), the scroll range.
  QSize FormSize() const;
  const CStaveObject* Hovered() const { return hovered_; }
  // The command of an active object: a link's target, an image's text
  // (empty: the image is inert).
  static std::string CommandOf(const CStaveObject& o);

 signals:
  // A left click released over an active object.
  void Clicked(const CStaveObject* object, const QString& command);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPoint Scroll() const;
  void UpdateScrollSizes();
  // The active object under a point in score units, or null.
  const CStaveObject* ActiveAt(QPoint p) const;
  void SetHovered(const CStaveObject* o);

  std::unique_ptr<CScore> score_;
  std::string path_;
  const CStaveObject* hovered_ = nullptr;
  ScoreImageCache cache_;
};
