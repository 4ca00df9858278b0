#pragma once
// Moving texts and numbers between the windows and the fixed-capacity fields
// of the records. Records hold UTF-8; a text that does not fit is cut at a
// character boundary so a field never holds half a character.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <string_view>

#include "store/Text.h"

class QObject;
class QValidator;

namespace tvx::ui {

// The UTF-8 bytes of text, cut to at most maxBytes without splitting a character.
QByteArray FieldBytes(const QString& text, std::size_t maxBytes);

// Stores text into a record field, cut to the field's capacity.
template <std::size_t N>
void StoreText(char (&field)[N], const QString& text) {
  const QByteArray bytes = FieldBytes(text, N - 1);
  SetText(field, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

template <std::size_t N>
QString FieldText(const char (&field)[N]) {
  const std::string_view v = TextOf(field);
  return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

// Texts read back from a list panel row are cut to this many characters.
inline constexpr int kRowTextChars = 79;
inline QString RowTextCut(const QString& text, int maxChars = kRowTextChars) {
  return text.left(maxChars);
}

// The number formed by the leading decimal digits of text; 0 when it does not
// start with a digit. Values too large for an int saturate instead of wrapping.
int TextToNumber(const QString& text);
inline QString NumberText(int value) { return QString::number(value); }

// A validator for the boxes that take digits only.
QValidator* NewDigitsValidator(QObject* parent);

}  // namespace tvx::ui
