// The score on paper: one page-high strip of the score per page, scaled from
// screen units to the device's resolution. Printing and the PDF file share it.
#pragma once

#include <string>

class CScore;
class QPagedPaintDevice;
class QPainter;

// Pages a print of the score takes: the content height divided by the page
// height, plus one.
int ScorePageCount(const CScore& score);
// Draws page `page` (0-based) of the score with `painter`, whose device has
// `dpi` dots per inch; the score's units are screen pixels at 96 per inch.
void DrawScorePage(QPainter& painter, const CScore& score, int page, double dpi);
// Draws every page on a paged device (a printer or a PDF writer), a new page
// before each but the first. False when the painter could not start.
bool PrintScorePages(QPagedPaintDevice& device, const CScore& score);
// A vector PDF of the score, one page per score page, fonts embedded.
// Never leaves a partial file.
bool SaveScorePdf(const CScore& score, const std::string& path, std::string* error);
