#include "ui/dialogs/FieldText.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <climits>

namespace tvx::ui {

QByteArray FieldBytes(const QString& text, std::size_t maxBytes) {
  QByteArray bytes = text.toUtf8();
  if (static_cast<std::size_t>(bytes.size()) <= maxBytes) return bytes;
  qsizetype cut = static_cast<qsizetype>(maxBytes);
  // Step back over continuation bytes so the cut lands before a lead byte.
  while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
  bytes.truncate(cut);
  return bytes;
}

int TextToNumber(const QString& text) {
  long long value = 0;
  for (const QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) break;
    value = value * 10 + (c.unicode() - '0');
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

QValidator* NewDigitsValidator(QObject* parent) {
  return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), parent);
}

}  // namespace tvx::ui
