// Printing from the editor: the printer chosen in print setup, printing the
// active score through the print dialog, and printing it to a PDF file.
#pragma once

class CMainFrame;
class CScoreEditDoc;
class QPrinter;
class QWidget;

// The printer print setup chose; every print goes to it.
QPrinter& SharedPrinter();

// Print setup: the page dialog on the printer every later print uses.
void RunPrintSetup(QWidget* parent);
// The print dialog, then every page of the score.
void PrintDocument(CMainFrame& frame, CScoreEditDoc& doc);
// Asks for a file name and writes the pages as a PDF.
void PrintDocumentToPdf(CMainFrame& frame, CScoreEditDoc& doc);
