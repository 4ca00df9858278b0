#include "ui/frame/MainFrame.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>

#include "commands/CommandIds.h"
#include "commands/Commands.h"
#include "engine/Engine.h"
#include "store/Lists.h"
#include "ui/Notifications.h"
#include "ui/dialogs/StartDlg.h"
#include "ui/frame/AskCommands.h"
#include "ui/frame/RateIndicator.h"
#include "ui/model/ShownList.h"
#include "ui/toolbar/ToolBarEx.h"
#include "ui/views/DnldList.h"
#include "ui/views/Gallery.h"
#include "ui/views/ListPanel.h"
#include "ui/views/PreviewPane.h"
#include "ui/views/ShellOpen.h"
#include "ui/views/StatusView.h"
#include "ui/views/TreePanel.h"
#include "ui/views/ViewReporter.h"

namespace tvx::ui {

// The toolbar class of the frame.
using FrameToolBar = CToolBarEx;

namespace {

constexpr int kFrameCommands[] = {
    kCmdAddFiles,        kCmdAddWebSite,           kCmdAddSearchProject,     kCmdDeleteEntry,
    kCmdProperties,      kCmdSendToRequestedFiles, kCmdSendToRequestedSites, kCmdDownloadSelected,
    kCmdStopDownloading, kCmdDeleteAllLists,       kCmdHelpContents,         kCmdGallery,
};

bool IsFrameCommand(int id) {
  for (int c : kFrameCommands)
    if (c == id) return true;
  return false;
}

bool ShowsRequestedList(int kind) {
  return kind == kListRequestedFiles || kind == kListRequestedSites || kind == kListSearchProjects;
}

// The keypad's "+". X delivers it to the focused widget as Key_Plus with the
// keypad modifier, a combination Qt's shortcut map never matches there.
bool IsKeypadPlus(const QKeyEvent& key) {
  return key.key() == Qt::Key_Plus && key.modifiers() == Qt::KeypadModifier;
}

}  // namespace

CMainFrame::CMainFrame(Engine& engine, QWidget* parent) : QMainWindow(parent), engine_(engine) {
  setWindowTitle(QStringLiteral("Untitled - Tavrinox"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/tavrinox.png")));
  CreatePanes();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  CreatePictureViews();

  reporter_ = std::make_unique<CViewReporter>(list_, status_, dnld_, this);
  shown_ = std::make_unique<ShownList>(engine_.lists, *reporter_);
  dispatcher_ = std::make_unique<CQtUiDispatcher>();
  tree_->SetModel(&engine_, shown_.get());
  list_->SetModel(&engine_, shown_.get());
  rate_->SetWorkers(&engine_.workers);
  // Reports pass the notifier on their way to the shown list.
  notifier_ =
      std::make_unique<CProjectNotifier>(engine_, *shown_, [this] { return isActiveWindow(); });
  engine_.SetUi(&notifier_->Reports(), dispatcher_.get());

  scheduleTimer_.setInterval(kScheduleMilliseconds);
  connect(&scheduleTimer_, &QTimer::timeout, this, &CMainFrame::OnScheduleTick);
  scheduleTimer_.start();

  focusWatch_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (now && gallery_->isAncestorOf(now)) {
      activePane_ = kGalleryPane;
      UpdateCommandStates();
      return;
    }
    for (int pane = 0; pane < kPaneCount; ++pane) {
      QWidget* w = PaneWidget(pane);
      if (now && (now == w || w->isAncestorOf(now))) {
        activePane_ = pane;
        UpdateCommandStates();
        return;
      }
    }
  });
  qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame() {
  // The panes lose their focus while the base classes take them down.
  disconnect(focusWatch_);
  qApp->removeEventFilter(this);
  // Reports from now on must not reach views that are going away.
  engine_.SetUi(nullptr, nullptr);
}

void CMainFrame::CreatePanes() {
  // Two columns, each of two rows; the row bars of both columns move together
  // so the four panes stay a 2 x 2 grid.
  columns_ = new QSplitter(Qt::Horizontal, this);
  leftRows_ = new QSplitter(Qt::Vertical, columns_);
  rightRows_ = new QSplitter(Qt::Vertical, columns_);
  for (QSplitter* s : {columns_, leftRows_, rightRows_}) s->setChildrenCollapsible(false);

  tree_ = new CTreePanel(leftRows_);
  dnld_ = new CDnldList(leftRows_);
  list_ = new CListPanel(rightRows_);
  status_ = new CStatusView(rightRows_);
  tree_->SetPanels(list_, status_);
  list_->SetStatusView(status_);

  // The left column starts 200 wide and the top row 150 high; the right column
  // and the bottom row take the rest and every later change of window size.
  columns_->setStretchFactor(0, 0);
  columns_->setStretchFactor(1, 1);
  columns_->setSizes({200, 600});
  for (QSplitter* rows : {leftRows_, rightRows_}) {
    rows->setStretchFactor(0, 0);
    rows->setStretchFactor(1, 1);
    rows->setSizes({150, 450});
  }
  connect(leftRows_, &QSplitter::splitterMoved, this,
          [this] { rightRows_->setSizes(leftRows_->sizes()); });
  connect(rightRows_, &QSplitter::splitterMoved, this,
          [this] { leftRows_->setSizes(rightRows_->sizes()); });

  // The lists' four panes and the gallery share the window, a tab each.
  tabs_ = new QTabWidget(this);
  tabs_->setDocumentMode(true);
  tabs_->addTab(columns_, QStringLiteral("Lists"));
  gallery_ = new CGallery(tabs_);
  tabs_->addTab(gallery_, QStringLiteral("Gallery"));
  gallery_->SetDeletedHook(
      [this](const QString& path) { engine_.RecordDeletedByUser(path.toUtf8().toStdString()); });
  setCentralWidget(tabs_);
}

QAction* CMainFrame::MakeMenuAction(QMenu* menu, int id, const QString& label,
                                    const QString& prompt) {
  QAction* action = menu->addAction(label);
  action->setData(id);
  action->setStatusTip(prompt);
  connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
  menuActions_[id] = action;
  return action;
}

void CMainFrame::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  MakeMenuAction(file, kCmdDeleteAllLists, QStringLiteral("&Delete All Lists"), {});
  file->addSeparator();
  MakeMenuAction(file, kCmdAppExit, QStringLiteral("E&xit"),
                 QStringLiteral("Quit the application; prompts to save documents"));

  QMenu* entry = menuBar()->addMenu(QStringLiteral("&Entry"));
  MakeMenuAction(entry, kCmdAddFiles, QStringLiteral("&Add File(s) \tIns"),
                 QStringLiteral("Add one or more files in the 'Requested' list"))
      ->setShortcut(QKeySequence(Qt::Key_Insert));
  MakeMenuAction(entry, kCmdAddWebSite, QStringLiteral("Add &Web Site \t+"),
                 QStringLiteral("Add a web site to the 'Requested' list"))
      ->setShortcut(QKeySequence(Qt::KeypadModifier | Qt::Key_Plus));
  // The label promises Ctrl+S, so the key works too.
  MakeMenuAction(entry, kCmdAddSearchProject, QStringLiteral("Add Search Project\tCtrl+S"), {})
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  entry->addSeparator();
  MakeMenuAction(entry, kCmdDeleteEntry, QStringLiteral("&Delete Entry \tDel"),
                 QStringLiteral("Delete selected entries"))
      ->setShortcut(QKeySequence(Qt::Key_Delete));
  entry->addSeparator();
  QMenu* sendTo = entry->addMenu(QStringLiteral("Send To"));
  MakeMenuAction(sendTo, kCmdSendToRequestedFiles, QStringLiteral("Requested Files List"), {});
  MakeMenuAction(sendTo, kCmdSendToRequestedSites, QStringLiteral("Requested Web Sites"), {});
  entry->addSeparator();
  MakeMenuAction(entry, kCmdProperties, QStringLiteral("Properties..."), {});

  QMenu* download = menuBar()->addMenu(QStringLiteral("&Download"));
  MakeMenuAction(download, kCmdDownloadSelected, QStringLiteral("&Selected Projects"), {});
  download->addSeparator();
  MakeMenuAction(download, kCmdStopDownloading, QStringLiteral("Stop Downloading"), {});

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  MakeMenuAction(help, kCmdHelpContents, QStringLiteral("&Table of Contents..."), {});
  help->addSeparator();
  MakeMenuAction(help, kCmdAppAbout, QStringLiteral("&About Quillanto..."),
                 QStringLiteral("Display program information, version number and copyright"));

  // The keys work wherever the focus is in this window.
  for (const auto& [id, action] : menuActions_)
    if (!action->shortcut().isEmpty()) addAction(action);

  nextPane_ = new QAction(this);
  nextPane_->setShortcut(QKeySequence(Qt::Key_F6));
  connect(nextPane_, &QAction::triggered, this, [this] { ActivateNextPane(false); });
  addAction(nextPane_);
  prevPane_ = new QAction(this);
  prevPane_->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
  connect(prevPane_, &QAction::triggered, this, [this] { ActivateNextPane(true); });
  addAction(prevPane_);

  for (QMenu* menu : {file, entry, sendTo, download, help}) {
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    connect(menu, &QMenu::aboutToHide, this, [this] {
      QTimer::singleShot(0, this, [this] {
        if (!QApplication::activePopupWidget()) ShowIdleMessage();
      });
    });
  }
}

void CMainFrame::AddToolButton(int id, const QString& icon, const QString& prompt,
                               const QString& tip) {
  QIcon picture(icon);
  // Without its picture a button still shows something to click.
  if (picture.availableSizes().isEmpty())
    picture = style()->standardIcon(QStyle::SP_FileDialogDetailedView);
  // No text: a button shows a tool tip only where one is given.
  QAction* action = toolBar_->addAction(picture, QString());
  action->setData(id);
  action->setStatusTip(prompt);
  action->setToolTip(tip);
  connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
  toolActions_[id] = action;
}

void CMainFrame::CreateToolBar() {
  toolBar_ = new FrameToolBar(this);
  toolBar_->setObjectName(QStringLiteral("toolbar"));
  toolBar_->setWindowTitle(QStringLiteral("Toolbar"));
  toolBar_->setIconSize(QSize(32, 32));
  toolBar_->setMovable(true);
  toolBar_->setFloatable(true);
  toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  toolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
  setDockOptions(dockOptions() | QMainWindow::AllowNestedDocks);
  addToolBar(Qt::TopToolBarArea, toolBar_);

  const QString add1 = QStringLiteral("Add one or more files in the 'Requested' list");
  const QString add2 = QStringLiteral("Add a web site to the 'Requested' list");
  AddToolButton(kCmdAddFiles, QStringLiteral(":/toolbar/addfiles.png"), add1, {});
  AddToolButton(kCmdAddWebSite, QStringLiteral(":/toolbar/addwebsite.png"), add2, {});
  AddToolButton(kCmdAddSearchProject, QStringLiteral(":/toolbar/addsearch.png"), {}, {});
  toolBar_->addSeparator();
  AddToolButton(kCmdDeleteEntry, QStringLiteral(":/toolbar/delete.png"),
                QStringLiteral("Delete selected entries"), {});
  toolBar_->addSeparator();
  AddToolButton(kCmdDownloadSelected, QStringLiteral(":/toolbar/download.png"), {}, {});
  AddToolButton(kCmdStopDownloading, QStringLiteral(":/toolbar/stop.png"), {}, {});
  AddToolButton(kCmdProperties, QStringLiteral(":/toolbar/properties.png"), {}, {});
  toolBar_->addSeparator();
  AddToolButton(kCmdGallery, QStringLiteral(":/toolbar/gallery.png"),
                QStringLiteral("Show the saved pictures as thumbnails, or the lists again"),
                QStringLiteral("Gallery (F4)"));
  toolActions_[kCmdGallery]->setCheckable(true);
  toolActions_[kCmdGallery]->setShortcut(QKeySequence(Qt::Key_F4));
  // F4 works wherever the focus is in this window, also with the bar floating.
  addAction(toolActions_[kCmdGallery]);
  toolBar_->addSeparator();
  AddToolButton(kCmdAppAbout, QStringLiteral(":/toolbar/about.png"),
                menuActions_[kCmdAppAbout]->statusTip(), QStringLiteral("About"));
}

void CMainFrame::CreateStatusBar() {
  messagePane_ = new QLabel(QStringLiteral("Ready"));
  messagePane_->setObjectName(QStringLiteral("messagePane"));
  statusBar()->addWidget(messagePane_, 1);
  const char* names[] = {"CAP", "NUM", "SCRL"};
  for (int i = 0; i < 3; ++i) {
    indicators_[i] = new QLabel(QString::fromLatin1(names[i]));
    indicators_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    indicators_[i]->setAlignment(Qt::AlignCenter);
    indicators_[i]->setMinimumWidth(
        indicators_[i]->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
    // Shown greyed while the lock is off or its state is unknown.
    indicators_[i]->setEnabled(false);
    statusBar()->addPermanentWidget(indicators_[i]);
  }
}

// The Preview pane (hidden at first, so the window starts as it always has)
// and the overall rate beside the lock indicators (shown only while workers run).
void CMainFrame::CreatePictureViews() {
  rate_ = new CRateIndicator(statusBar());
  // Left of the lock indicators (the index counts the message pane too).
  statusBar()->insertPermanentWidget(1, rate_);
  rate_->hide();

  preview_ = new CPreviewPane(this);
  addDockWidget(Qt::RightDockWidgetArea, preview_);
  preview_->hide();
  previewAction_ = preview_->toggleViewAction();
  previewAction_->setShortcut(QKeySequence(Qt::Key_F3));
  previewAction_->setShortcutContext(Qt::WindowShortcut);
  addAction(previewAction_);
  dnld_->SetPreviewAction(previewAction_);
  connect(dnld_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* now) {
    if (preview_->isVisible()) preview_->ShowFile(dnld_->FileOfItem(now));
  });
  connect(preview_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible) preview_->ShowFile(CurrentPicture());
  });
  gallery_->SetPreviewAction(previewAction_);
  connect(gallery_, &CGallery::CurrentFileChanged, this, [this](const QString& file) {
    if (preview_->isVisible() && GalleryShown()) preview_->ShowFile(file);
  });
  // Whichever way the tab changes (F4, the toolbar, a click on the tab), the
  // commands follow what is shown: Delete never reaches a hidden pane.
  connect(tabs_, &QTabWidget::currentChanged, this, [this] {
    toolActions_[kCmdGallery]->setChecked(GalleryShown());
    if (GalleryShown()) {
      if (activePane_ != kGalleryPane) paneBeforeGallery_ = activePane_;
      activePane_ = kGalleryPane;
      gallery_->List()->setFocus(Qt::OtherFocusReason);
    } else if (activePane_ == kGalleryPane) {
      activePane_ = paneBeforeGallery_;
      PaneWidget(activePane_)->setFocus(Qt::OtherFocusReason);
    }
    UpdateCommandStates();
    if (preview_->isVisible()) preview_->ShowFile(CurrentPicture());
  });
}

bool CMainFrame::GalleryShown() const { return tabs_->currentWidget() == gallery_; }

QString CMainFrame::CurrentPicture() const {
  return GalleryShown() ? gallery_->CurrentFile() : dnld_->FileOfItem(dnld_->currentItem());
}

void CMainFrame::ShowGallery(bool show) {
  toolActions_[kCmdGallery]->setChecked(show);
  if (show)
    tabs_->setCurrentWidget(gallery_);
  else
    ActivatePane(paneBeforeGallery_);
}

void CMainFrame::OnInitialUpdate() {
  engine_.Store().LoadAll();
  tree_->OnInitialUpdate();
  list_->OnInitialUpdate();
  dnld_->OnInitialUpdate();
  ActivatePane(kTreePane);
}

void CMainFrame::TakePlaceOnScreen() {
  // A dialog centres on its parent, also on one not shown yet.
  if (!isVisible())
    if (QScreen* where = screen()) setGeometry(where->availableGeometry());
}

void CMainFrame::AskStartupQuestion() {
  TakePlaceOnScreen();
  CStartDlg dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  RunStartupChoice(dialog.Choice());
}

void CMainFrame::RunStartupChoice(int choice) {
  if (choice == CStartDlg::kWebSiteProject)
    RouteCommand(kCmdAddWebSite);
  else if (choice == CStartDlg::kSearchProject)
    RouteCommand(kCmdAddSearchProject);
}

QWidget* CMainFrame::PaneWidget(int pane) const {
  switch (pane) {
    case kGalleryPane:
      return gallery_->List();
    case kTreePane:
      return tree_;
    case kListPane:
      return list_;
    case kDnldPane:
      return dnld_;
    case kStatusPane:
      return status_;
  }
  return nullptr;
}

void CMainFrame::ActivatePane(int pane) {
  if (pane == kGalleryPane) return ShowGallery(true);
  if (pane < 0 || pane >= kPaneCount) return;
  // The four panes are on the lists' tab.
  if (GalleryShown()) tabs_->setCurrentWidget(columns_);
  activePane_ = pane;
  PaneWidget(pane)->setFocus(Qt::OtherFocusReason);
  UpdateCommandStates();
}

void CMainFrame::ActivateNextPane(bool backwards) {
  const int step = backwards ? kPaneCount - 1 : 1;
  const int from = activePane_ == kGalleryPane ? kListPane : activePane_;
  ActivatePane((from + step) % kPaneCount);
}

QAction* CMainFrame::MenuAction(int id) const {
  auto it = menuActions_.find(id);
  return it == menuActions_.end() ? nullptr : it->second;
}

QAction* CMainFrame::ToolAction(int id) const {
  auto it = toolActions_.find(id);
  return it == toolActions_.end() ? nullptr : it->second;
}

bool CMainFrame::IsCommandEnabledOnRoute(int id) const {
  if (activePane_ == kGalleryPane)
    if (auto enabled = gallery_->IsCommandEnabled(id)) return *enabled;
  if (activePane_ == kListPane)
    if (auto enabled = list_->IsCommandEnabled(id)) return *enabled;
  if (IsFrameCommand(id)) return true;
  if (app_ && (id == kCmdAppAbout || id == kCmdAppExit))
    return app_->IsCommandEnabled(id).value_or(true);
  return false;
}

void CMainFrame::UpdateCommandStates() {
  for (auto& [id, action] : menuActions_) action->setEnabled(IsCommandEnabledOnRoute(id));
  for (auto& [id, action] : toolActions_) action->setEnabled(IsCommandEnabledOnRoute(id));
}

void CMainFrame::RouteCommand(int id) {
  if (!IsCommandEnabledOnRoute(id)) return;
  if (activePane_ == kListPane && list_->OnCommand(id)) return;
  if (activePane_ == kGalleryPane && gallery_->OnCommand(id)) return;
  if (OnCommand(id)) return;
  if (app_) app_->OnCommand(id);
}

bool CMainFrame::OnCommand(int id) {
  const int kind = shown_->Shown();
  switch (id) {
    case kCmdAddFiles:
      AskAddFiles(this, engine_);
      return true;
    case kCmdAddWebSite:
      AskAddWebSite(this, engine_);
      return true;
    case kCmdAddSearchProject:
      AskAddSearchProject(this, engine_);
      return true;
    case kCmdDeleteEntry:
      AskDeleteEntries(this, *list_);
      return true;
    case kCmdProperties:
      AskEditProjects(this, *list_);
      return true;
    case kCmdSendToRequestedSites:
      AskSendToRequestedSites(this, *list_, SendToOrigin::Frame);
      return true;
    case kCmdSendToRequestedFiles:
      SendSelectedToRequestedFiles(*list_);
      return true;
    case kCmdDownloadSelected:
      if (ShowsRequestedList(kind) && !list_->SelectedRows().empty())
        DownloadItems(engine_, kind, list_->SelectedItems());
      return true;
    case kCmdStopDownloading:
      if (ShowsRequestedList(kind) && !list_->SelectedRows().empty())
        StopItems(engine_, kind, list_->SelectedItems());
      return true;
    case kCmdDeleteAllLists:
      AskDeleteAllLists(this, engine_);
      return true;
    case kCmdHelpContents:
      OpenHelpContents();
      return true;
    case kCmdGallery:
      ShowGallery(!GalleryShown());
      return true;
  }
  return false;
}

void CMainFrame::OnScheduleTick() { ScheduleTick(engine_, LocalTimeOfDay()); }

QString CMainFrame::HelpPagePath() {
  const QString relative = QStringLiteral("Quillanto/picstoc.htm");
  QStringList candidates;
  const QString appDir = QCoreApplication::applicationDirPath();
  candidates << appDir + QLatin1Char('/') + relative               // build tree
             << appDir + QStringLiteral("/../share/") + relative;  // installed
  const QString located = QStandardPaths::locate(QStandardPaths::GenericDataLocation, relative);
  if (!located.isEmpty()) candidates << located;
#ifdef TAVRINOX_BUILD_HELP_PAGE
  candidates << QStringLiteral(TAVRINOX_BUILD_HELP_PAGE);
#endif
  for (const QString& path : candidates) {
    QFileInfo info(path);
    if (info.isFile()) return info.canonicalFilePath();
  }
  return {};
}

void CMainFrame::OpenHelpContents() {
  // A missing page is not reported.
  const QString path = HelpPagePath();
  if (!path.isEmpty()) OpenWithShell(QUrl::fromLocalFile(path));
}

void CMainFrame::ShowIdleMessage() { messagePane_->setText(QStringLiteral("Ready")); }

bool CMainFrame::event(QEvent* e) {
  if (e->type() == QEvent::StatusTip) {
    const QString tip = static_cast<QStatusTipEvent*>(e)->tip();
    // An entry without a prompt leaves the pane as it is while a menu is open;
    // otherwise the pane falls back to "Ready".
    if (!tip.isEmpty())
      messagePane_->setText(tip);
    else if (!QApplication::activePopupWidget())
      ShowIdleMessage();
    return true;
  }
  return QMainWindow::event(e);
}

void CMainFrame::UpdateLockIndicators(const QKeyEvent& key) {
  lockKeys_.Update(key);
  indicators_[0]->setEnabled(lockKeys_.Caps());
  indicators_[1]->setEnabled(lockKeys_.Num());
  indicators_[2]->setEnabled(lockKeys_.Scroll());
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
  if ((e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) &&
      watched->isWidgetType()) {
    auto* key = static_cast<QKeyEvent*>(e);
    auto* target = static_cast<QWidget*>(watched);
    // Once per key: the event also passes the window and, when ignored, the
    // target's parents.
    QWidget* focus = QApplication::focusWidget();
    if (target == focus || (!focus && target->isWindow())) UpdateLockIndicators(*key);
    if (e->type() == QEvent::KeyPress && IsKeypadPlus(*key) && target->window() == this) {
      RouteCommand(kCmdAddWebSite);
      return true;
    }
  } else if (e->type() == QEvent::MouseButtonPress) {
    // A click in a pane makes it the active one, even where it takes no focus.
    auto* clicked = qobject_cast<QWidget*>(watched);
    if (clicked && gallery_->isAncestorOf(clicked)) activePane_ = kGalleryPane;
    for (int pane = 0; pane < kPaneCount; ++pane) {
      QWidget* w = PaneWidget(pane);
      auto* target = qobject_cast<QWidget*>(watched);
      if (target && (target == w || w->isAncestorOf(target))) {
        activePane_ = pane;
        break;
      }
    }
  }
  return QMainWindow::eventFilter(watched, e);
}

}  // namespace tvx::ui
