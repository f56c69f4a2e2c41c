#include "editor/view/clipboard_bridge.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

namespace clipboard_bridge {

const QString& MimeType() {
  static const QString type = QStringLiteral("application/x-music-score-clipboard-format");
  return type;
}

bool HasScoreData() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasFormat(MimeType());
}

void Put(const std::vector<uint8_t>& payload) {
  auto* data = new QMimeData;
  data->setData(MimeType(), QByteArray(reinterpret_cast<const char*>(payload.data()), qsizetype(payload.size())));
  QGuiApplication::clipboard()->setMimeData(data);
}

std::vector<uint8_t> Take() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasFormat(MimeType())) return {};
  const QByteArray bytes = data->data(MimeType());
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace clipboard_bridge
