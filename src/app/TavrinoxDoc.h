// The document of the single main window. All data lives in the six
// process-wide lists, so it holds nothing and stores nothing.
#pragma once

#include <QObject>
#include <QString>

class QDataStream;

namespace tvx::ui {

class CTavrinoxDoc : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  bool OnNewDocument() { return true; }
  // Writes and reads nothing: the lists have files of their own.
  void Serialize(QDataStream&) {}
  QString Title() const { return QStringLiteral("Untitled"); }
};

}  // namespace tvx::ui
