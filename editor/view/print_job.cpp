#include "editor/view/print_job.h"

#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

#include "common/ui_host.h"
#include "editor/app/score_document.h"
#include "editor/frame/main_frame.h"
#include "platform/score_pdf.h"

QPrinter& SharedPrinter() {
  static QPrinter printer(QPrinter::HighResolution);
  return printer;
}

void RunPrintSetup(QWidget* parent) {
  QPageSetupDialog dialog(&SharedPrinter(), parent);
  dialog.exec();
}

void PrintDocument(CMainFrame& frame, CScoreEditDoc& doc) {
  QPrinter& printer = SharedPrinter();
  printer.setDocName(doc.Title());
  QPrintDialog dialog(&printer, &frame);
  if (dialog.exec() != QDialog::Accepted) return;
  if (!PrintScorePages(printer, doc.Score())) frame.Ui().MessageBox("无法打印", "", UiHost::Icon::Warning);
}

void PrintDocumentToPdf(CMainFrame& frame, CScoreEditDoc& doc) {
  const std::string suggested = QFileInfo(doc.Title()).completeBaseName().toStdString() + ".pdf";
  const auto path = frame.Ui().SaveFileName("PDF文件 (*.pdf)|*.pdf", "pdf", suggested);
  if (!path) return;
  std::string error;
  if (!SaveScorePdf(doc.Score(), *path, &error))
    frame.Ui().MessageBox("无法写入 " + *path, "", UiHost::Icon::Warning);
}
