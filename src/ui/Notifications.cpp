#include "ui/Notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace tvx::ui {
namespace {

constexpr const char* kConnectionName = "tavrinox-notifications";

// The session bus the desktop gives the program, without starting one: a
// process that has none shows no notifications.
QString SessionBusAddress() {
  const QString given = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
  if (!given.isEmpty()) return given;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus")))
    return QStringLiteral("unix:path=") + runtime + QStringLiteral("/bus");
  return {};
}

}  // namespace

std::optional<QString> NotificationText(const RunTally::Ended& end, bool windowActive) {
  const RunTally::Item& item = end.item;
  if (windowActive || end.outcome == RunTally::Outcome::Stopped) return std::nullopt;
  if (item.ref.list != kListRequestedSites && item.ref.list != kListSearchProjects)
    return std::nullopt;
  const QString project = QString::fromStdString(item.text);
  if (end.outcome == RunTally::Outcome::Failed)
    return project + QStringLiteral(": ") + QString::fromStdString(end.reason);
  if (item.ref.list == kListRequestedSites)
    return project + QStringLiteral(": %1 pictures saved").arg(item.picturesSaved);
  return project + QStringLiteral(": %1 links found").arg(item.linksFound);
}

CProjectNotifier::CProjectNotifier(EngineState& engine, Reporter& next,
                                   std::function<bool()> windowActive, QObject* parent)
    : QObject(parent), tally_(engine, &next), windowActive_(std::move(windowActive)) {
  timer_.setInterval(kCheckMs);
  connect(&timer_, &QTimer::timeout, this, &CProjectNotifier::Check);
  timer_.start();
}

void CProjectNotifier::Check() {
  for (const RunTally::Ended& end : tally_.TakeEnded()) {
    if (std::optional<QString> text = NotificationText(end, windowActive_ && windowActive_()))
      Notify(*text);
  }
}

void CProjectNotifier::Notify(const QString& text) {
  const QString address = SessionBusAddress();
  if (address.isEmpty()) return;
  // One connection, made when the first notification is due; made again if
  // the bus went away or another one is named. It is let go of only while no
  // handle to it is held, as libdbus insists.
  const QString name = QString::fromLatin1(kConnectionName);
  if (busAddress_ != address || !QDBusConnection(name).isConnected()) {
    QDBusConnection::disconnectFromBus(name);
    busAddress_ = address;
  }
  QDBusConnection bus = QDBusConnection::connectToBus(address, name);
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  call << QStringLiteral("Tavrinox") << 0u << QStringLiteral("tavrinox") << text << QString()
       << QStringList() << QVariantMap() << -1;
  // Nobody waits for the answer: a slow or missing service holds up nothing.
  bus.send(call);
}

}  // namespace tvx::ui
