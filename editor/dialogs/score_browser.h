// The score browser: the score written to "~~score.stv" and shown, view only,
// in a resizable window of its own.
#pragma once

#include <QDialog>

class CKRScoreView;
class CScoreEditDoc;

class ScoreBrowser : public QDialog {
  Q_OBJECT
 public:
  explicit ScoreBrowser(QWidget* parent = nullptr);
  // Loads the form and takes its size (within the screen); false with the
  // reason when the file could not be read (the view is then empty).
  bool Open(const std::string& path, std::string* error = nullptr);
  CKRScoreView& View() { return *view_; }

 private:
  CKRScoreView* view_;
};

// Writes the document's score to the browser's temporary file and shows it;
// the window deletes itself when closed. Null, with the reason, when the
// file cannot be written.
ScoreBrowser* BrowseScore(CScoreEditDoc& doc, QWidget* parent, std::string* error);
