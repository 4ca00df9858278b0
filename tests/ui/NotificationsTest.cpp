// A web-site or search project that ends while the window is not active is
// told over the session bus (a private bus of the test's own, with a fake
// notification service on it); without a bus nothing happens.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QStringList>
#include <QTest>
#include <QVariantMap>
#include <optional>
#include <string>

#include "commands/Commands.h"
#include "commands/ItemCommands.h"
#include "support/ChildProcess.h"
#include "support/RecordingReporter.h"
#include "support/TempDir.h"
#include "support/TestHttpServer.h"
#include "ui/Notifications.h"

namespace tvx::ui {
namespace {

using namespace std::chrono_literals;

TEST(Notifications, WhatTheEndOfAProjectSays) {
  RunTally::Ended site;
  site.item.ref = {kListRequestedSites, 7};
  site.item.text = "Holiday";
  site.item.picturesSaved = 12;
  RunTally::Ended search = site;
  search.item.ref.list = kListSearchProjects;
  search.item.text = "tulips";
  search.item.linksFound = 5;
  RunTally::Ended failed = site;
  failed.outcome = RunTally::Outcome::Failed;
  failed.reason = "Some errors occurred";
  RunTally::Ended stopped = site;
  stopped.outcome = RunTally::Outcome::Stopped;
  RunTally::Ended file = site;
  file.item.ref.list = kListRequestedFiles;

  struct Case {
    const RunTally::Ended& end;
    bool windowActive;
    std::optional<QString> text;
  };
  const Case cases[] = {
      {site, false, QStringLiteral("Holiday: 12 pictures saved")},
      {search, false, QStringLiteral("tulips: 5 links found")},
      {failed, false, QStringLiteral("Holiday: Some errors occurred")},
      {site, true, std::nullopt},
      {failed, true, std::nullopt},
      {stopped, false, std::nullopt},
      {file, false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.end.item.text + (c.windowActive ? ", window active" : ""));
    EXPECT_EQ(NotificationText(c.end, c.windowActive), c.text);
  }
}

// Stands in for the desktop's notification service.
class FakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList received;  // "<app>|<icon>|<summary>"

 public slots:
  uint Notify(const QString& app, uint, const QString& icon, const QString& summary, const QString&,
              const QStringList&, const QVariantMap&, int) {
    received << app + QStringLiteral("|") + icon + QStringLiteral("|") + summary;
    return static_cast<uint>(received.size());
  }
};

// A session bus of the test's own.
class PrivateBus {
 public:
  PrivateBus() {
    const std::string config =
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
        "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig><type>session</type><listen>unix:tmpdir=" +
        dir_.Path().string() +
        "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
        "<allow own=\"*\"/><allow receive_sender=\"*\"/></policy></busconfig>\n";
    const auto file = dir_.Write("bus.conf", config);
    try {
      daemon_.emplace(std::vector<std::string>{"dbus-daemon", "--nofork", "--print-address=1",
                                               "--config-file=" + file.string()},
                      dir_.Path(), true);
    } catch (const std::exception&) {
      return;
    }
    if (auto line = daemon_->ReadLine(30s)) address_ = *line;
  }
  const std::string& Address() const { return address_; }

 private:
  test::TempDir dir_{"tvx-bus"};
  std::optional<test::ChildProcess> daemon_;
  std::string address_;
};

// Keeps Qt's warnings, so that a test can see that none was given.
QStringList g_warnings;
void KeepWarning(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type != QtDebugMsg && type != QtInfoMsg) g_warnings << text;
}

TEST(Notifications, AProjectThatEndsUnseenIsToldOverTheSessionBus) {
  PrivateBus bus;
  if (bus.Address().empty()) GTEST_SKIP() << "no dbus-daemon to run a private bus";
  const QString receiverName = QStringLiteral("fake-notifications");
  FakeNotifications fake;
  {
    QDBusConnection receiver =
        QDBusConnection::connectToBus(QString::fromStdString(bus.Address()), receiverName);
    ASSERT_TRUE(receiver.isConnected());
    ASSERT_TRUE(receiver.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                        QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(receiver.registerService(QStringLiteral("org.freedesktop.Notifications")));
  }

  test::TestHttpServer site;
  site.Serve("/index.html", test::HttpResponse::Html("<img src=\"a.jpg\">\n<img src=\"b.jpg\">\n"));
  site.Serve("/a.jpg", test::HttpResponse::Ok(std::string(300, 'a'), "image/jpeg"));
  site.Serve("/b.jpg", test::HttpResponse::Ok(std::string(400, 'b'), "image/jpeg"));
  test::HttpResponse cut = test::HttpResponse::Html("<img");
  cut.closeAfterBytes = 0;
  cut.resetOnClose = true;
  site.Serve("/broken.html", cut);

  test::EngineFixture fx;
  Engine& engine = fx.engine();
  bool windowActive = false;
  CProjectNotifier notifier(engine, fx.shown, [&] { return windowActive; });
  engine.SetUi(&notifier.Reports(), &fx.dispatcher);
  qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus.Address()));

  // Crawls a project of that name from that page, to its end; then the
  // notifier looks, as its timer would.
  auto crawl = [&](const char* name, const std::string& start) {
    SiteProject project = NewWebSiteProject();
    SetText(project.name, name);
    SetText(project.startUrl, start);
    project.typeJpg = 1;
    fx.OnUi([&] {
      AddWebSite(engine, project, SiteOptions(true, 4));
      const int index = engine.lists.requestedSites.Find(name);
      DownloadItems(engine, kListRequestedSites, {engine.lists.requestedSites.IdAt(index)});
    });
    ASSERT_TRUE(test::WaitForWorkers());
    fx.OnUi([&] { notifier.Check(); });
  };
  test::TempDir work("tvx-notify");
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(work.Path());

  windowActive = true;
  crawl("seen", site.Url("/index.html"));  // the user watches: nothing to tell
  windowActive = false;
  crawl("Holiday", site.Url("/index.html"));
  crawl("broken", site.Url("/broken.html"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return fake.received.size() >= 2; }, 20000));
  EXPECT_EQ(fake.received, (QStringList{"Tavrinox|tavrinox|Holiday: 2 pictures saved",
                                        "Tavrinox|tavrinox|broken: Some errors occurred"}));

  // No session bus at all, and a bus without a notification service: no
  // notification and not a word about it.
  QDBusConnection(receiverName).unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  g_warnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler(KeepWarning);
  crawl("quiet bus", site.Url("/index.html"));
  qputenv("DBUS_SESSION_BUS_ADDRESS",
          QByteArray::fromStdString("unix:path=" + (work.Path() / "gone").string()));
  crawl("bus gone", site.Url("/index.html"));
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(work.Path().string()));
  crawl("no bus", site.Url("/index.html"));
  QTest::qWait(200);
  qInstallMessageHandler(previous);
  EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.join(QStringLiteral("\n")).toStdString();
  EXPECT_EQ(fake.received.size(), 2);

  engine.SetUi(&fx.shown, &fx.dispatcher);
  qputenv("XDG_RUNTIME_DIR", runtime);
  std::filesystem::current_path(cwd);
  QDBusConnection::disconnectFromBus(receiverName);
  QDBusConnection::disconnectFromBus(QStringLiteral("tavrinox-notifications"));
}

}  // namespace
}  // namespace tvx::ui

#include "NotificationsTest.moc"
