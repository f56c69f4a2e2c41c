#include "editor/frame/toolbar_icons.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <map>

namespace {

constexpr int kSize = 24;  // logical pixels; drawn twice as large for sharp screens
const QColor kInk(0x20, 0x20, 0x20);

QFont MusicFont(double pixels) {
  QFont f(QStringLiteral("velorin"));
  f.setPixelSize(std::max(1, int(pixels)));
  f.setStyleStrategy(QFont::NoFontMerging);
  return f;
}

// Glyphs drawn at a staff space of 4.5 pixels, the whole figure shrunk to the
// box where it is taller, and centred on its ink.
void DrawGlyphs(QPainter& p, const QString& text, double pixels = 18) {
  QFont f = MusicFont(pixels);
  QRectF ink = QFontMetricsF(f).tightBoundingRect(text);
  if (ink.isEmpty()) return;
  const double room = kSize - 3;
  const double scale = std::min(1.0, std::min(room / ink.width(), room / ink.height()));
  p.save();
  p.translate(kSize / 2.0, kSize / 2.0);
  p.scale(scale, scale);
  p.translate(-ink.center());
  p.setFont(f);
  p.setPen(kInk);
  p.drawText(QPointF(0, 0), text);
  p.restore();
}

QString Bytes(std::initializer_list<int> bytes) {
  QString s;
  for (int b : bytes) s += QChar(b);
  return s;
}

// A note of value `code` (1 whole .. 6 thirty-second), stem up, centred.
void DrawNote(QPainter& p, int code, bool small = false) {
  const double sp = small ? 3.2 : 4.5;
  QFont f = MusicFont(sp * 4);
  const QChar head = QChar(code <= 1 ? 119 : code == 2 ? 250 : 207);
  const QRectF h = QFontMetricsF(f).tightBoundingRect(QString(head));
  const double stemLen = sp * 3.5 + (code >= 5 ? sp * (code - 4) : 0);
  const double width = h.width() + (code >= 4 ? sp * 1.3 : 0);
  const double height = h.height() / 2 + (code >= 2 ? stemLen : h.height() / 2);
  const double left = (kSize - width) / 2, bottom = (kSize + height) / 2;
  const double cy = bottom - h.height() / 2;
  p.save();
  p.setFont(f);
  p.setPen(kInk);
  p.drawText(QPointF(left - h.left(), cy - h.center().y()), QString(head));
  if (code >= 2) {
    const double x = left + h.width() - 0.6;
    const double top = cy - stemLen;
    p.setPen(QPen(kInk, small ? 1.0 : 1.2));
    p.drawLine(QPointF(x, cy - 0.5), QPointF(x, top));
    // Flags: one curve each, a staff space apart.
    p.setBrush(kInk);
    for (int k = 0; k < code - 3; ++k) {
      const double y = top + k * sp * 0.9;
      QPainterPath flag(QPointF(x, y));
      flag.cubicTo(x + sp * 0.2, y + sp * 1.0, x + sp * 1.5, y + sp * 1.2, x + sp * 1.1, y + sp * 2.6);
      flag.cubicTo(x + sp * 1.2, y + sp * 1.5, x + sp * 0.4, y + sp * 1.2, x, y + sp * 1.0);
      flag.closeSubpath();
      p.setPen(Qt::NoPen);
      p.drawPath(flag);
    }
  }
  p.restore();
}

void DrawStaffLines(QPainter& p, double top, double gap, int count, double left = 2, double right = kSize - 2) {
  p.setPen(QPen(kInk, 1));
  for (int i = 0; i < count; ++i) p.drawLine(QPointF(left, top + i * gap), QPointF(right, top + i * gap));
}

void DrawText(QPainter& p, const QString& text, bool italic, double pixels, const QString& family = "Liberation Serif") {
  QFont f(family);
  f.setPixelSize(int(pixels));
  f.setItalic(italic);
  f.setBold(true);
  p.setFont(f);
  p.setPen(kInk);
  p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, text);
}

void DrawHairpin(QPainter& p, bool opening, bool both = false) {
  p.setPen(QPen(kInk, 1.3));
  const double m = kSize / 2.0;
  if (both) {
    p.drawPolyline(QPolygonF({{2, m - 5}, {m, m}, {2, m + 5}}));
    p.drawPolyline(QPolygonF({{kSize - 2.0, m - 5}, {m, m}, {kSize - 2.0, m + 5}}));
  } else if (opening) {
    p.drawPolyline(QPolygonF({{kSize - 2.0, m - 6}, {2, m}, {kSize - 2.0, m + 6}}));
  } else {
    p.drawPolyline(QPolygonF({{2, m - 6}, {kSize - 2.0, m}, {2, m + 6}}));
  }
}

// Draws the image of `id` into a kSize square; false when there is none.
bool Paint(QPainter& p, int id) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  if (id >= 34301 && id <= 34306) return DrawNote(p, id - 34300), true;
  if (id == 34309) {  // grace note: a small eighth with a slash
    DrawNote(p, 4, true);
    p.setPen(QPen(kInk, 1.1));
    p.drawLine(QPointF(9, 12), QPointF(17, 6));
    return true;
  }
  static const std::map<int, int> rests = {{34401, 238}, {34402, 183}, {34403, 206},
                                           {34404, 228}, {34405, 197}, {34406, 168}};
  if (auto r = rests.find(id); r != rests.end()) {
    if (id <= 34402) DrawStaffLines(p, id == 34401 ? 8 : 14, 5, 1);
    DrawGlyphs(p, Bytes({r->second}));
    return true;
  }
  static const std::map<int, QString> glyphs = {
      {34588, Bytes({'-'})}, {34590, Bytes({'.'})},  {34593, Bytes({'>'})},   {34606, Bytes({174})},
      {34607, Bytes({39})},  {34533, Bytes({133})},  {34534, Bytes({134})},   {34535, Bytes({135})},
      {34536, Bytes({136})}, {34537, Bytes({137})},  {34521, Bytes({161})},   {34522, Bytes({42})},
      {34560, Bytes({64})},  {34561, Bytes({65})},   {34502, Bytes({'#'})},   {34501, Bytes({'b'})},
      {34503, Bytes({'n'})}, {34564, Bytes({126, 126})}, {34565, Bytes({'T'})}, {34566, Bytes({199})},
      {34567, Bytes({96})},  {33112, Bytes({'&'})},  {33117, Bytes({'#', 'b'})}, {34582, Bytes({195})},
      {34583, Bytes({215})},
  };
  if (auto g = glyphs.find(id); g != glyphs.end()) {
    if (id == 34590 || id == 34588 || id == 34593) DrawGlyphs(p, g->second, 30);
    else DrawGlyphs(p, g->second);
    return true;
  }
  switch (id) {
    case 34516: case 34517: {  // a quarter with one or two dots
      p.save();
      p.translate(-3, 0);
      DrawNote(p, 3);
      p.restore();
      p.setBrush(kInk);
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPointF(16.5, 18.5), 1.6, 1.6);
      if (id == 34517) p.drawEllipse(QPointF(21, 18.5), 1.6, 1.6);
      return true;
    }
    case 33114: DrawGlyphs(p, Bytes({'4'}) , 18); return true;
    case 36366: DrawText(p, "p", true, 17); return true;
    case 36367: DrawText(p, "mp", true, 13); return true;
    case 36368: DrawText(p, "mf", true, 13); return true;
    case 36369: DrawText(p, "f", true, 17); return true;
    case 36374: DrawText(p, "fp", true, 15); return true;
    case 34100: DrawHairpin(p, true); return true;
    case 34101: DrawHairpin(p, false); return true;
    case 34102: DrawHairpin(p, false, true); return true;
    case 34005: {  // slur
      p.setPen(QPen(kInk, 1.6));
      QPainterPath arc(QPointF(3, 16));
      arc.cubicTo(7, 6, 17, 6, 21, 16);
      p.drawPath(arc);
      return true;
    }
    case 34008: p.setPen(QPen(kInk, 1.4)); p.drawLine(QPointF(3, 20), QPointF(21, 4)); return true;
    case 34190: case 34191: {  // octave line
      DrawText(p, "", false, 10);
      QFont f("Liberation Serif");
      f.setPixelSize(11);
      f.setItalic(true);
      f.setBold(true);
      p.setFont(f);
      const double y = id == 34190 ? 7 : 17;
      p.drawText(QRectF(0, y - 7, 12, 14), Qt::AlignCenter, id == 34190 ? "8va" : "8vb");
      p.setPen(QPen(kInk, 1, Qt::DashLine));
      p.drawLine(QPointF(12, y), QPointF(22, y));
      p.setPen(QPen(kInk, 1));
      p.drawLine(QPointF(22, y), QPointF(22, id == 34190 ? y + 6 : y - 6));
      return true;
    }
    case 34007: {  // ending bracket
      p.setPen(QPen(kInk, 1.2));
      p.drawPolyline(QPolygonF({{3, 20}, {3, 5}, {21, 5}}));
      QFont f("Liberation Sans");
      f.setPixelSize(10);
      p.setFont(f);
      p.drawText(QRectF(5, 6, 10, 12), Qt::AlignCenter, "1.");
      return true;
    }
    case 33116: case 34000: {  // piano system: brace and two staves
      DrawStaffLines(p, 3, 2, 4, 6);
      DrawStaffLines(p, 14, 2, 4, 6);
      p.setPen(QPen(kInk, 1.2));
      p.drawLine(QPointF(6, 3), QPointF(6, 20));
      QPainterPath brace(QPointF(4, 2));
      brace.cubicTo(1, 6, 4, 10, 1.5, 11.5);
      brace.cubicTo(4, 13, 1, 17, 4, 21);
      p.drawPath(brace);
      return true;
    }
    case 33121: case 34001:  // one stave
      DrawStaffLines(p, 7, 2.5, 5);
      p.drawLine(QPointF(2, 7), QPointF(2, 17));
      return true;
    case 33122: case 34002:  // a measure: stave and bar line
      DrawStaffLines(p, 7, 2.5, 5);
      p.setPen(QPen(kInk, 1.6));
      p.drawLine(QPointF(12, 7), QPointF(12, 17));
      return true;
    case 36300: DrawText(p, "A", false, 18); return true;
    case 34013: {
      p.save();
      p.translate(12, 12);
      p.rotate(-30);
      p.translate(-12, -12);
      DrawText(p, "A", false, 16);
      p.restore();
      return true;
    }
    case 34009: {  // a link: underlined text
      DrawText(p, "T", false, 15, "Liberation Sans");
      p.setPen(QPen(QColor(0x20, 0x40, 0xC0), 1.4));
      p.drawLine(QPointF(6, 20), QPointF(18, 20));
      return true;
    }
    case 34010: {  // a picture
      p.setPen(QPen(kInk, 1.2));
      p.drawRect(QRectF(3, 5, 18, 14));
      p.drawPolyline(QPolygonF({{4, 18}, {10, 11}, {14, 15}, {17, 12}, {20, 18}}));
      p.drawEllipse(QPointF(16, 9), 1.5, 1.5);
      return true;
    }
    case 34012: DrawText(p, "MIDI", false, 8, "Liberation Sans"); return true;
    case 31144: DrawText(p, "M5", false, 10, "Liberation Sans"); return true;
    case 31145: DrawText(p, "M6", false, 10, "Liberation Sans"); return true;
    case 34604: DrawText(p, "104", false, 9, "Liberation Sans"); return true;
    case 34605: DrawText(p, "105", false, 9, "Liberation Sans"); return true;
    case 33033: {  // triplet: three eighths under a 3
      DrawText(p, "", false, 8);
      p.setBrush(kInk);
      p.setPen(QPen(kInk, 1));
      for (int i = 0; i < 3; ++i) {
        p.drawEllipse(QPointF(5 + i * 6.5, 19), 2.2, 1.6);
        p.drawLine(QPointF(7 + i * 6.5, 19), QPointF(7 + i * 6.5, 9));
      }
      p.setPen(QPen(kInk, 2));
      p.drawLine(QPointF(7, 9), QPointF(20, 9));
      QFont f("Liberation Serif");
      f.setPixelSize(9);
      f.setItalic(true);
      f.setBold(true);
      p.setFont(f);
      p.setPen(kInk);
      p.drawText(QRectF(8, -1, 10, 10), Qt::AlignCenter, "3");
      return true;
    }
    case 33035: case 33079: {  // beamed by beat / broken beam
      p.setBrush(kInk);
      p.setPen(QPen(kInk, 1));
      for (int i = 0; i < 4; ++i) {
        p.drawEllipse(QPointF(4 + i * 5.3, 19), 1.9, 1.4);
        p.drawLine(QPointF(5.7 + i * 5.3, 19), QPointF(5.7 + i * 5.3, 6));
      }
      p.setPen(QPen(kInk, 2.2));
      if (id == 33035) {
        p.drawLine(QPointF(5.7, 6), QPointF(11, 6));
        p.drawLine(QPointF(16.3, 6), QPointF(21.6, 6));
      } else {
        p.drawLine(QPointF(5.7, 6), QPointF(11, 6));
        p.setPen(QPen(QColor(0xC0, 0x30, 0x30), 1.4));
        p.drawLine(QPointF(13.5, 3), QPointF(13.5, 10));
        p.setPen(QPen(kInk, 2.2));
        p.drawLine(QPointF(16.3, 6), QPointF(21.6, 6));
      }
      return true;
    }
    case 32983: {  // chord: three stacked heads on one stem
      p.setBrush(kInk);
      p.setPen(QPen(kInk, 1.1));
      for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(10, 19 - i * 4.5), 2.7, 2.0);
      p.drawLine(QPointF(12.6, 19), QPointF(12.6, 3));
      return true;
    }
    case 33009: case 33008: {  // stem up / stem down
      p.setBrush(kInk);
      p.setPen(QPen(kInk, 1.2));
      const bool up = id == 33009;
      p.drawEllipse(QPointF(11, up ? 18 : 6), 3, 2.2);
      p.drawLine(QPointF(up ? 13.8 : 8.2, up ? 18 : 6), QPointF(up ? 13.8 : 8.2, up ? 3 : 21));
      p.setPen(QPen(QColor(0x30, 0x60, 0xC0), 1.4));
      const double ax = up ? 19 : 3;
      p.drawLine(QPointF(ax, 5), QPointF(ax, 19));
      p.drawPolyline(up ? QPolygonF({{ax - 3, 8}, {ax, 4}, {ax + 3, 8}}) : QPolygonF({{ax - 3, 16}, {ax, 20}, {ax + 3, 16}}));
      return true;
    }
    case 32985: {  // tie between two notes
      p.setBrush(kInk);
      p.setPen(QPen(kInk, 1));
      p.drawEllipse(QPointF(5, 14), 2.8, 2);
      p.drawEllipse(QPointF(19, 14), 2.8, 2);
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(kInk, 1.4));
      QPainterPath tie(QPointF(6, 18));
      tie.cubicTo(9, 22, 15, 22, 18, 18);
      p.drawPath(tie);
      return true;
    }
    case 33076: case 33078: {  // flag to the left or the right
      const bool left = id == 33076;
      p.setBrush(kInk);
      p.setPen(QPen(kInk, 1.2));
      p.drawEllipse(QPointF(10, 19), 3, 2.2);
      p.drawLine(QPointF(12.8, 19), QPointF(12.8, 3));
      QPainterPath flag(QPointF(12.8, 3));
      const double d = left ? -1 : 1;
      flag.cubicTo(12.8 + d * 1, 7, 12.8 + d * 7, 8, 12.8 + d * 5, 14);
      flag.cubicTo(12.8 + d * 5, 10, 12.8 + d * 2, 8, 12.8, 8);
      flag.closeSubpath();
      p.setPen(Qt::NoPen);
      p.drawPath(flag);
      return true;
    }
    case 33096: case 33097: case 33098: {  // selection modes: staves, notes, graphics
      if (id == 33096) {
        DrawStaffLines(p, 7, 2.5, 5);
      } else if (id == 33097) {
        DrawNote(p, 3);
      } else {
        p.setPen(QPen(kInk, 1.2));
        p.drawEllipse(QPointF(9, 10), 5, 5);
        p.drawRect(QRectF(11, 11, 9, 9));
      }
      p.setPen(QPen(QColor(0x30, 0x60, 0xC0), 1, Qt::DashLine));
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRectF(1, 1, kSize - 2, kSize - 2));
      return true;
    }
    case 32947: {  // auto-correct: a note with a tick
      p.save();
      p.translate(-4, 0);
      DrawNote(p, 3);
      p.restore();
      p.setPen(QPen(QColor(0x20, 0x90, 0x30), 2));
      p.drawPolyline(QPolygonF({{13, 14}, {16, 18}, {22, 8}}));
      return true;
    }
    default: break;
  }
  if (id >= 33201 && id <= 33208) {
    p.setPen(QPen(kInk, 1));
    p.drawRoundedRect(QRectF(3, 3, kSize - 6, kSize - 6), 3, 3);
    DrawText(p, QString::number(id - 33200), false, 13, "Liberation Sans");
    return true;
  }
  return false;
}

QString ThemeName(int id) {
  static const std::map<int, const char*> names = {
      {57600, "document-new"},       {57601, "document-open"},   {57603, "document-save"},
      {57604, "document-save-as"},   {57607, "document-print"},  {57609, "document-print-preview"},
      {57635, "edit-cut"},           {57634, "edit-copy"},       {57637, "edit-paste"},
      {57632, "edit-delete"},        {57643, "edit-undo"},       {57644, "edit-redo"},
      {57642, "edit-select-all"},    {33061, "edit-find"},       {33100, "document-properties"},
      {32974, "media-record"},       {32960, "media-playback-start"}, {33064, "media-seek-forward"},
      {32975, "media-playback-stop"}, {33071, "help-browser"},   {57664, "help-about"},
      {57665, "application-exit"},   {33118, "web-browser"},     {57602, "window-close"},
  };
  auto it = names.find(id);
  return it == names.end() ? QString() : QString::fromLatin1(it->second);
}

}  // namespace

QIcon CommandIcon(int id) {
  const QString theme = ThemeName(id);
  if (!theme.isEmpty()) {
    // The symbolic variants are what current desktops ship; the plain names
    // serve older themes.
    QIcon icon = QIcon::fromTheme(theme + "-symbolic", QIcon::fromTheme(theme));
    if (!icon.isNull()) return icon;
  }
  QIcon icon;
  for (int scale : {1, 2}) {
    QPixmap pixmap(kSize * scale, kSize * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    if (!Paint(p, id)) return {};
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}
