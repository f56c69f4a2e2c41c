// Rendering a whole score to an image, and the bitmap export file.
#pragma once

#include <QImage>
#include <string>

class CScore;

// The bitmap export's picture: the content size plus 50 each way, white with
// a black one-unit frame, the whole score drawn in.
QImage RenderScoreImage(const CScore& score);
// A standard uncompressed 24-bit Windows bitmap of the image.
std::string EncodeBmp24(const QImage& image);
// A PNG of the image: 8-bit grey when every pixel is grey (the usual black
// score on white), else 24-bit colour; rows unfiltered, fast deflate.
std::string EncodePng(const QImage& image);
// Writes .bmp or .png by the path's extension; never leaves a partial file.
bool SaveScoreImage(const CScore& score, const std::string& path, std::string* error);
