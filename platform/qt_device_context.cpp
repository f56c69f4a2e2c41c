#include "platform/qt_device_context.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <cstdlib>
#include <QPaintEngine>
#include <QPolygon>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/file_util.h"
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

// Geometry beyond the part being drawn is cut away before it reaches the
// painter, in 64 bits and doubles: a damaged score's far-off coordinates would
// otherwise overflow the painter's fixed-point numbers or have it dash a line
// millions of units long. Within the wide guard band shapes reach the painter
// as they are, so the picture does not depend on where the clip lies (a
// PNG drawn in strips equals the bitmap drawn whole).
constexpr int64_t kGuard = 1 << 16;
// Shapes larger than this are drawn as clipped polylines rather than handed
// to the painter as curves.
constexpr double kLargestCurve = 1 << 16;

using Box64 = QtDeviceContext::GuardBox;

// Liang-Barsky: cuts the segment to the box; false when nothing is left.
bool ClipSegment(const Box64& box, double& x1, double& y1, double& x2, double& y2) {
  const double dx = x2 - x1, dy = y2 - y1;
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - double(box.Left), double(box.Right) - x1, y1 - double(box.Top), double(box.Bottom) - y1};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const double ox = x1, oy = y1;
  x1 = ox + t0 * dx;
  y1 = oy + t0 * dy;
  x2 = ox + t1 * dx;
  y2 = oy + t1 * dy;
  return true;
}

// Sutherland-Hodgman against the four sides of the box.
QPolygonF ClipPolygon(const Box64& box, QPolygonF poly) {
  auto pass = [](const QPolygonF& in, auto inside, auto cross) {
    QPolygonF out;
    for (int i = 0; i < in.size(); ++i) {
      const QPointF a = in[i], b = in[(i + 1) % in.size()];
      const bool ia = inside(a), ib = inside(b);
      if (ia) out << a;
      if (ia != ib) out << cross(a, b);
    }
    return out;
  };
  const double l = double(box.Left), t = double(box.Top), r = double(box.Right), b = double(box.Bottom);
  auto atX = [](QPointF a, QPointF c, double x) { return QPointF(x, a.y() + (c.y() - a.y()) * (x - a.x()) / (c.x() - a.x())); };
  auto atY = [](QPointF a, QPointF c, double y) { return QPointF(a.x() + (c.x() - a.x()) * (y - a.y()) / (c.y() - a.y()), y); };
  poly = pass(poly, [&](QPointF p) { return p.x() >= l; }, [&](QPointF a, QPointF c) { return atX(a, c, l); });
  poly = pass(poly, [&](QPointF p) { return p.x() <= r; }, [&](QPointF a, QPointF c) { return atX(a, c, r); });
  poly = pass(poly, [&](QPointF p) { return p.y() >= t; }, [&](QPointF a, QPointF c) { return atY(a, c, t); });
  poly = pass(poly, [&](QPointF p) { return p.y() <= b; }, [&](QPointF a, QPointF c) { return atY(a, c, b); });
  return poly;
}

// The largest text drawn, in pixels; larger heights are drawn at this size.
constexpr int64_t kMaxFontPixels = 4096;

bool IsMusicFace(const std::string& face) { return QString::fromLatin1(face.c_str()).compare(kMusicFace, Qt::CaseInsensitive) == 0; }

}  // namespace

std::shared_ptr<Picture> LoadPicture(const std::string& path) {
  // Read through the checked reader: a FIFO or device never blocks the
  // drawing, and the file's size is capped.
  std::vector<uint8_t> bytes;
  if (!qx::ReadWholeFile(path, bytes, nullptr, kMaxPictureFileBytes)) return nullptr;
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAllocationLimit(kMaxPictureMegabytes);
  QImage image;
  if (!reader.read(&image) || image.isNull()) return nullptr;
  return std::make_shared<QtPicture>(std::move(image));
}

namespace {
// Whether `path` names something inside `folder` (both absolute and
// normalised; links resolved).
bool IsInside(const std::string& path, const std::string& folder) {
  if (folder.empty()) return false;
  const std::string base = folder.back() == '/' ? folder : folder + "/";
  return path.compare(0, base.size(), base) == 0;
}

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string out(real);
  std::free(real);
  return out;
}
}  // namespace

std::string PictureSourcePath(const std::string& scorePath, const std::string& source) {
  if (source.empty()) return {};
  // Relative to the score's folder, or to the program's when the score has no file yet.
  const std::string base = scorePath.empty() ? qx::ProgramDirectory() + "score" : scorePath;
  const std::string resolved = RealPath(qx::ResolveRelativeTo(base, source));
  if (resolved.empty()) return {};
  const size_t slash = base.rfind('/');
  const std::string scoreFolder = slash == std::string::npos ? RealPath(".") : RealPath(base.substr(0, slash + 1));
  const std::string programFolder = RealPath(qx::ProgramDirectory());
  if (IsInside(resolved, scoreFolder) || IsInside(resolved, programFolder)) return resolved;
  return {};
}

void LoadScorePictures(CScore& score) {
  for (const auto& up : score.Objects())
    if (auto* image = As<CXImage>(up.get())) {
      std::string source;
      if (!qx::GbkToUtf8(image->source, source)) source = image->source;
      const std::string path = PictureSourcePath(score.FilePath, source);
      image->picture = path.empty() ? nullptr : LoadPicture(path);
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
  // Worked out in 64 bits and held to a size a glyph can be drawn at: a
  // damaged file's height may be anything.
  int64_t pixels = std::abs(int64_t(lf.Height));
  if (lf.Height > 0) pixels = std::max<int64_t>(1, pixels * 4 / 5);
  font.setPixelSize(int(std::clamp<int64_t>(pixels ? pixels : 16, 1, kMaxFontPixels)));
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
  guard_ = {int64_t(clip.Left) - kGuard, int64_t(clip.Top) - kGuard, int64_t(clip.Right) + kGuard,
            int64_t(clip.Bottom) + kGuard};
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
  if (!p_.isActive()) return;
  const QString s = TextForFont(logFont_, text);
  // Whichever way it turns, the text stays within its length plus its height of (x, y).
  const int64_t reach = int64_t(metrics_->horizontalAdvance(s)) + 2 * int64_t(metrics_->height()) + 8;
  if (!guard_.Meets(int64_t(x) - reach, int64_t(y) - reach, int64_t(x) + reach, int64_t(y) + reach)) return;
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
  if (!p_.isActive() || !guard_.Meets(box.Left, box.Top, box.Right, box.Bottom)) return;
  if (int64_t(box.Right) - box.Left > kLargestCurve || int64_t(box.Bottom) - box.Top > kLargestCurve) return;
  p_.save();
  p_.setFont(font_);
  p_.setPen(ToQColor(text_));
  p_.drawText(QRect(box.Left, box.Top, box.Width(), box.Height()), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
              TextForFont(logFont_, text));
  p_.restore();
}

void QtDeviceContext::Line(int x1, int y1, int x2, int y2) {
  if (pen_.Style == PenNull || !p_.isActive()) return;
  // Slanted lines (hairpins, beams' edges) are smoothed; staff lines, stems
  // and bar lines stay on whole pixels.
  const bool slanted = x1 != x2 && y1 != y2;
  if (slanted) p_.setRenderHint(QPainter::Antialiasing, true);
  if (guard_.Holds(x1, y1) && guard_.Holds(x2, y2)) {
    p_.drawLine(x1, y1, x2, y2);
  } else {
    double ax = x1, ay = y1, bx = x2, by = y2;
    if (ClipSegment(guard_, ax, ay, bx, by)) p_.drawLine(QLineF(ax, ay, bx, by));
  }
  if (slanted) p_.setRenderHint(QPainter::Antialiasing, false);
}

void QtDeviceContext::Polyline(const Point* points, int count) {
  if (!p_.isActive() || count < 2) return;
  bool inside = true;
  for (int i = 0; i < count && inside; ++i) inside = guard_.Holds(points[i].X, points[i].Y);
  // Curves (slurs, ties) come as polylines: smoothed.
  p_.setRenderHint(QPainter::Antialiasing, true);
  if (inside) {
    QPolygon poly;
    for (int i = 0; i < count; ++i) poly << QPoint(points[i].X, points[i].Y);
    p_.drawPolyline(poly);
  } else {
    ClippedPolyline(points, count);
  }
  p_.setRenderHint(QPainter::Antialiasing, false);
}

void QtDeviceContext::ClippedPolyline(const Point* points, int count) {
  for (int i = 0; i + 1 < count; ++i) {
    double ax = points[i].X, ay = points[i].Y, bx = points[i + 1].X, by = points[i + 1].Y;
    if (ClipSegment(guard_, ax, ay, bx, by)) p_.drawLine(QLineF(ax, ay, bx, by));
  }
}

void QtDeviceContext::FillRect(const Rect& r, Color c) {
  if (!p_.isActive()) return;
  const int64_t l = std::max<int64_t>(r.Left, guard_.Left), t = std::max<int64_t>(r.Top, guard_.Top);
  const int64_t rr = std::min<int64_t>(r.Right, guard_.Right), b = std::min<int64_t>(r.Bottom, guard_.Bottom);
  if (rr <= l || b <= t) return;
  p_.fillRect(QRect(int(l), int(t), int(rr - l), int(b - t)), ToQColor(c));
}

void QtDeviceContext::FillPolygon(const Point* points, int count, Color c) {
  if (!p_.isActive() || count < 3) return;
  QPolygonF poly;
  bool inside = true;
  for (int i = 0; i < count; ++i) {
    poly << QPointF(points[i].X, points[i].Y);
    inside = inside && guard_.Holds(points[i].X, points[i].Y);
  }
  if (!inside) poly = ClipPolygon(guard_, poly);
  if (poly.size() < 3) return;
  p_.save();
  p_.setPen(Qt::NoPen);
  p_.setBrush(ToQColor(c));
  p_.setRenderHint(QPainter::Antialiasing, true);
  p_.drawPolygon(poly);
  p_.restore();
}

void QtDeviceContext::FrameRect(const Rect& r) {
  if (!p_.isActive() || !guard_.Meets(int64_t(r.Left) - 1, int64_t(r.Top) - 1, int64_t(r.Right) + 1, int64_t(r.Bottom) + 1))
    return;
  if (guard_.Holds(r.Left, r.Top) && guard_.Holds(r.Right, r.Bottom)) {
    p_.save();
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
    p_.restore();
    return;
  }
  const int right = int(std::max<int64_t>(r.Left, int64_t(r.Right) - 1));
  const int bottom = int(std::max<int64_t>(r.Top, int64_t(r.Bottom) - 1));
  const Point p[5] = {{r.Left, r.Top}, {right, r.Top}, {right, bottom}, {r.Left, bottom}, {r.Left, r.Top}};
  ClippedPolyline(p, 5);
}

// A large ellipse's outline as points on it, from angle a0 on by `span`
// (degrees, counter-clockwise as on screen).
std::vector<Point> QtDeviceContext::EllipsePoints(const Rect& box, double a0, double span) const {
  const double cx = (double(box.Left) + box.Right) / 2, cy = (double(box.Top) + box.Bottom) / 2;
  const double rx = (double(box.Right) - box.Left) / 2, ry = (double(box.Bottom) - box.Top) / 2;
  constexpr int kSteps = 720;
  std::vector<Point> points;
  for (int i = 0; i <= kSteps; ++i) {
    const double a = (a0 + span * i / kSteps) * M_PI / 180.0;
    points.push_back({int(std::clamp(cx + rx * std::cos(a), -2e9, 2e9)), int(std::clamp(cy - ry * std::sin(a), -2e9, 2e9))});
  }
  return points;
}

void QtDeviceContext::Ellipse(const Rect& box) {
  if (!p_.isActive() || !guard_.Meets(box.Left, box.Top, box.Right, box.Bottom)) return;
  if (double(box.Right) - box.Left > kLargestCurve || double(box.Bottom) - box.Top > kLargestCurve) {
    const std::vector<Point> points = EllipsePoints(box, 0, 360);
    ClippedPolyline(points.data(), int(points.size()));
    return;
  }
  p_.save();
  p_.setBrush(Qt::NoBrush);
  p_.setRenderHint(QPainter::Antialiasing, true);
  p_.drawEllipse(QRect(box.Left, box.Top, box.Width(), box.Height()));
  p_.restore();
}

void QtDeviceContext::Arc(const Rect& box, Point start, Point end) {
  if (!p_.isActive() || !guard_.Meets(box.Left, box.Top, box.Right, box.Bottom)) return;
  const double cx = (double(box.Left) + box.Right) / 2.0, cy = (double(box.Top) + box.Bottom) / 2.0;
  // Angles as seen on screen: counter-clockwise positive, y pointing down.
  const double a1 = std::atan2(-(start.Y - cy), start.X - cx) * 180.0 / M_PI;
  const double a2 = std::atan2(-(end.Y - cy), end.X - cx) * 180.0 / M_PI;
  double span = a2 - a1;
  while (span <= 0) span += 360.0;
  if (double(box.Right) - box.Left > kLargestCurve || double(box.Bottom) - box.Top > kLargestCurve) {
    const std::vector<Point> points = EllipsePoints(box, a1, span);
    ClippedPolyline(points.data(), int(points.size()));
    return;
  }
  p_.save();
  p_.setRenderHint(QPainter::Antialiasing, true);
  p_.drawArc(QRectF(box.Left, box.Top, box.Width(), box.Height()), int(std::lround(a1 * 16)), int(std::lround(span * 16)));
  p_.restore();
}

void QtDeviceContext::DrawPicture(const Picture& picture, const Rect& box) {
  auto* q = dynamic_cast<const QtPicture*>(&picture);
  if (!q || q->Image.isNull() || !p_.isActive() || !guard_.Meets(box.Left, box.Top, box.Right, box.Bottom)) return;
  const double w = double(box.Right) - box.Left, h = double(box.Bottom) - box.Top;
  if (w <= 0 || h <= 0) return;
  // Only the visible part of the picture, scaled: the painter never sees the
  // whole box, which may be millions of units across.
  const double l = std::max<double>(box.Left, guard_.Left), t = std::max<double>(box.Top, guard_.Top);
  const double r = std::min<double>(box.Right, guard_.Right), b = std::min<double>(box.Bottom, guard_.Bottom);
  const double sx = q->Image.width() / w, sy = q->Image.height() / h;
  const QRectF source((l - box.Left) * sx, (t - box.Top) * sy, (r - l) * sx, (b - t) * sy);
  p_.drawImage(QRectF(l, t, r - l, b - t), q->Image, source);
}
