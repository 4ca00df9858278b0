// Desktop notifications: a web-site or search project that ends while the
// window is not active tells so in a freedesktop notification over the
// session bus. Without a session bus, or without a notification service on
// it, nothing is shown and nothing is said.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

#include "engine/RunTally.h"

namespace tvx::ui {

// What a notification says of a project's end ("<project>: N pictures
// saved", or why it failed); nothing for a file, a project that was stopped,
// or while the window is active.
std::optional<QString> NotificationText(const RunTally::Ended& end, bool windowActive);

class CProjectNotifier : public QObject {
  Q_OBJECT

 public:
  // Watches the reports on their way to `next` (the window's); windowActive
  // tells whether the user is looking at the window.
  CProjectNotifier(EngineState& engine, Reporter& next, std::function<bool()> windowActive,
                   QObject* parent = nullptr);

  // What the engine reports to: everything goes on to `next`.
  Reporter& Reports() { return tally_; }

  // How often ended projects are looked for.
  static constexpr int kCheckMs = 1000;
  // Looks for projects that ended and notifies of each (the timer does this).
  void Check();

 private:
  void Notify(const QString& text);

  RunTally tally_;
  std::function<bool()> windowActive_;
  QTimer timer_;
  QString busAddress_;
};

}  // namespace tvx::ui
