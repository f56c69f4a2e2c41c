#include "platform/qt_device_context.h"

#include <QFileInfo>
#include <QPaintEngine>
#include <QPolygon>
#include <QTextOption>
#include <cmath>

#include "common/gbk.h"
#include "common/paths.h"
#include "model/score.h"
#include "notation/draw.h"
#include "notation/velorin_metrics.h"

namespace {

Qt::PenStyle QtPenStyle(int style) {
  switch (style) {
    case PenDash: return Qt::DashLine;
    case PenDot: return Qt::DotLine;
    case PenDashDot: return Qt::DashDotLine;
    case PenDashDotDot: return Qt::DashDotDotLine;
    case PenNull: return Qt::NoPen;
    default: return Qt::SolidLine;
  }
}

bool IsMusicFace(const std::string& face) { return QString::fromLatin1(face.c_str()).compare(kMusicFace, Qt::CaseInsensitive) == 0; }

}  // namespace

std::shared_ptr<Picture> LoadPicture(const std::string& path) {
  QImage image;
  if (!image.load(QString::fromStdString(path))) return nullptr;
  return std::make_shared<QtPicture>(std::move(image));
}

void LoadScorePictures(CScore& score) {
  for (const auto& up : score.Objects())
    if (auto* image = As<CXImage>(up.get())) {
      std::string source;
      if (!qx::GbkToUtf8(image->source, source)) source = image->source;
      image->picture = LoadPicture(qx::ResolveRelativeTo(score.FilePath, source));
    }
}

QString TextForFont(const LogFont& font, std::string_view bytes) {
  if (IsMusicFace(font.Face())) return QString::fromLatin1(bytes.data(), static_cast<int>(bytes.size()));
  std::string utf8 = qx::GbkToUtf8Lossy(bytes);
  return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size()));
}

QFont FontFromLogFont(const LogFont& lf) {
  std::string faceUtf8 = qx::GbkToUtf8Lossy(lf.Face());
  QString face = QString::fromUtf8(faceUtf8.c_str());
  bool italic = lf.Italic != 0;
  int weight = lf.Weight;
  // Styles spelled into the face name.
  if (face.endsWith(" Italic", Qt::CaseInsensitive)) {
    face.chop(7);
    italic = true;
  }
  QFont font;
  QString family = face;
  int stretch = QFont::Unstretched;
  if (face.compare("Times New Roman", Qt::CaseInsensitive) == 0) family = "Liberation Serif";
  else if (face.compare("Arial", Qt::CaseInsensitive) == 0) family = "Liberation Sans";
  else if (face.compare("Arial Narrow", Qt::CaseInsensitive) == 0) {
    family = "Liberation Sans Narrow";
    stretch = QFont::Condensed;
  } else if (face.compare("Arial Black", Qt::CaseInsensitive) == 0) {
    family = "Liberation Sans";
    if (weight < 900) weight = 900;
  } else if (face.compare("System", Qt::CaseInsensitive) == 0) {
    family = "DejaVu Sans";
    if (weight == 0) weight = 700;
  } else if (face == QString::fromUtf8("宋体") || face.compare("SimSun", Qt::CaseInsensitive) == 0) {
    family = "WenQuanYi Micro Hei";
  }
  font.setFamilies({family, "Liberation Sans", "WenQuanYi Micro Hei", "DejaVu Sans"});
  font.setStretch(stretch);
  // A negative height is the character (em) height, a positive one the cell height.
  int pixels = std::abs(lf.Height);
  if (lf.Height > 0) pixels = std::max(1, pixels * 4 / 5);
  font.setPixelSize(std::max(1, pixels ? pixels : 16));
  if (weight >= 600) font.setWeight(weight >= 900 ? QFont::Black : QFont::Bold);
  font.setItalic(italic);
  font.setUnderline(lf.Underline != 0);
  font.setStrikeOut(lf.StrikeOut != 0);
  font.setStyleStrategy(QFont::PreferAntialias);
  // Hinting would move music glyphs off their reference points by up to a pixel and a half.
  if (IsMusicFace(lf.Face())) font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

QtDeviceContext::QtDeviceContext(QPainter& painter, Rect clip) : p_(painter), clip_(clip) {
  p_.setRenderHint(QPainter::Antialiasing, false);
  p_.setRenderHint(QPainter::TextAntialiasing, true);
  SetPen(pen_);
  SetFont(LogFont::PointFont(120, "System"));
}

void QtDeviceContext::SetPen(const PenDesc& pen) {
  pen_ = pen;
  QPen q(ToQColor(pen.Colour));
  q.setStyle(QtPenStyle(pen.Style));
  q.setWidth(std::max(1, pen.Width));
  q.setCapStyle(Qt::FlatCap);
  q.setCosmetic(false);
  p_.setPen(q);
}

void QtDeviceContext::SetMixMode(MixMode mode) {
  if (p_.paintEngine() && p_.paintEngine()->hasFeature(QPaintEngine::RasterOpModes))
    p_.setCompositionMode(mode == MixMode::NotXor ? QPainter::RasterOp_NotSourceXorDestination
                                                  : QPainter::CompositionMode_SourceOver);
}

void QtDeviceContext::SetFont(const LogFont& font) {
  if (metrics_ && font == logFont_) return;
  logFont_ = font;
  font_ = FontFromLogFont(font);
  metrics_ = std::make_unique<QFontMetrics>(font_);
}

TextMetrics QtDeviceContext::GetTextMetrics() {
  TextMetrics tm;
  if (IsMusicFace(logFont_.Face())) {
    // The music font is placed by its design metrics, not a rasteriser's rounding.
    const double em = font_.pixelSize();
    tm.Ascent = int(std::lround(VelorinAscent(em)));
    tm.Descent = int(std::lround(VelorinDescent(em)));
    tm.Height = tm.Ascent + tm.Descent;
    tm.InternalLeading = int(std::lround(VelorinInternalLeading(em)));
    tm.AveCharWidth = std::max(1, int(std::lround(VelorinAverageCharWidth(em))));
    return tm;
  }
  tm.Ascent = metrics_->ascent();
  tm.Descent = metrics_->descent();
  tm.Height = tm.Ascent + tm.Descent;
  tm.InternalLeading = std::max(0, tm.Height - font_.pixelSize());
  tm.AveCharWidth = std::max(1, metrics_->averageCharWidth());
  return tm;
}

TextSize QtDeviceContext::GetTextExtent(std::string_view text) {
  const QString s = TextForFont(logFont_, text);
  return {metrics_->horizontalAdvance(s), metrics_->height()};
}

int QtDeviceContext::Ascent() const {
  if (IsMusicFace(logFont_.Face())) return int(std::lround(VelorinAscent(font_.pixelSize())));
  return metrics_->ascent();
}

void QtDeviceContext::TextOut(int x, int y, std::string_view text) {
  const QString s = TextForFont(logFont_, text);
  p_.save();
  p_.setFont(font_);
  p_.setPen(ToQColor(text_));
  if (logFont_.Escapement != 0) {
    // Rotated text turns about its top-left corner, counter-clockwise.
    p_.translate(x, y);
    p_.rotate(-logFont_.Escapement / 10.0);
    p_.drawText(0, Ascent(), s);
  } else {
    if (background_ == BackgroundMode::Opaque) p_.fillRect(x, y, metrics_->horizontalAdvance(s), metrics_->height(), Qt::white);
    p_.drawText(x, y + Ascent(), s);
  }
  p_.restore();
}

void QtDeviceContext::DrawTextInBox(const Rect& box, std::string_view text) {
  p_.save();
  p_.setFont(font_);
  p_.setPen(ToQColor(text_));
  p_.drawText(QRect(box.Left, box.Top, box.Width(), box.Height()), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
              TextForFont(logFont_, text));
  p_.restore();
}

void QtDeviceContext::Line(int x1, int y1, int x2, int y2) {
  if (pen_.Style == PenNull) return;
  // Slanted lines (hairpins, beams' edges) are smoothed; staff lines, stems
  // and bar lines stay on whole pixels.
  const bool slanted = x1 != x2 && y1 != y2;
  if (slanted) p_.setRenderHint(QPainter::Antialiasing, true);
  p_.drawLine(x1, y1, x2, y2);
  if (slanted) p_.setRenderHint(QPainter::Antialiasing, false);
}

void QtDeviceContext::Polyline(const Point* points, int count) {
  QPolygon poly;
  for (int i = 0; i < count; ++i) poly << QPoint(points[i].X, points[i].Y);
  p_.setRenderHint(QPainter::Antialiasing, true);  // curves (slurs, ties) drawn as polylines
  p_.drawPolyline(poly);
  p_.setRenderHint(QPainter::Antialiasing, false);
}

void QtDeviceContext::FillRect(const Rect& r, Color c) {
  p_.fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), ToQColor(c));
}

void QtDeviceContext::FillPolygon(const Point* points, int count, Color c) {
  QPolygon poly;
  for (int i = 0; i < count; ++i) poly << QPoint(points[i].X, points[i].Y);
  p_.save();
  p_.setPen(Qt::NoPen);
  p_.setBrush(ToQColor(c));
  p_.setRenderHint(QPainter::Antialiasing, true);
  p_.drawPolygon(poly);
  p_.restore();
}

void QtDeviceContext::FrameRect(const Rect& r) {
  p_.save();
  p_.setBrush(Qt::NoBrush);
  p_.drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
  p_.restore();
}

void QtDeviceContext::Ellipse(const Rect& box) {
  p_.save();
  p_.setBrush(Qt::NoBrush);
  p_.setRenderHint(QPainter::Antialiasing, true);
  p_.drawEllipse(QRect(box.Left, box.Top, box.Width(), box.Height()));
  p_.restore();
}

void QtDeviceContext::Arc(const Rect& box, Point start, Point end) {
  const double cx = (box.Left + box.Right) / 2.0, cy = (box.Top + box.Bottom) / 2.0;
  // Angles as seen on screen: counter-clockwise positive, y pointing down.
  const double a1 = std::atan2(-(start.Y - cy), start.X - cx) * 180.0 / M_PI;
  const double a2 = std::atan2(-(end.Y - cy), end.X - cx) * 180.0 / M_PI;
  double span = a2 - a1;
  while (span <= 0) span += 360.0;
  p_.save();
  p_.setRenderHint(QPainter::Antialiasing, true);
  p_.drawArc(QRectF(box.Left, box.Top, box.Width(), box.Height()), int(std::lround(a1 * 16)), int(std::lround(span * 16)));
  p_.restore();
}

void QtDeviceContext::DrawPicture(const Picture& picture, const Rect& box) {
  if (auto* q = dynamic_cast<const QtPicture*>(&picture))
    p_.drawImage(QRect(box.Left, box.Top, box.Width(), box.Height()), q->Image);
}
