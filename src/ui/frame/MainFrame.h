// The one top-level window: menu bar, toolbar, status bar and the four panes
// (tree of lists, list panel, downloaded-files tree, status view).
#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>

#include "ui/frame/LockKeys.h"
#include "ui/views/CommandTarget.h"

class QKeyEvent;
class QLabel;
class QSplitter;
class QTabWidget;
class QToolBar;

namespace tvx {
class Engine;
class ShownList;
}  // namespace tvx

namespace tvx::ui {

class CTreePanel;
class CListPanel;
class CDnldList;
class CStatusView;
class CProjectNotifier;
class CViewReporter;
class CPreviewPane;
class CGallery;
class CRateIndicator;
class CQtUiDispatcher;

class CMainFrame : public QMainWindow, public CommandTarget {
  Q_OBJECT

 public:
  // The panes in the order F6 walks them. The gallery, on a tab of its own
  // beside the four, stands where the list panel stands in that order.
  enum Pane : int {
    kTreePane = 0,
    kListPane = 1,
    kDnldPane = 2,
    kStatusPane = 3,
    kGalleryPane = 4
  };
  static constexpr int kPaneCount = 4;
  static constexpr int kScheduleMilliseconds = 60000;

  // The window of the engine: its reports go to this window from now on.
  explicit CMainFrame(Engine& engine, QWidget* parent = nullptr);
  ~CMainFrame() override;

  Engine& engine() const { return engine_; }
  // What the window shows of the lists.
  ShownList& Shown() const { return *shown_; }

  // The panes' first updates: the tree's items, the list files loaded and the
  // requested files shown, the downloaded-files placeholder.
  void OnInitialUpdate();

  // Gives the window, while it is not shown yet, the place it will have on
  // the screen, so that the dialogs and boxes of the start-up, which come
  // before it shows, are centred as they will be later.
  void TakePlaceOnScreen();
  // The "Start a New Project" question, asked once before the window shows.
  void AskStartupQuestion();
  // Carries out a choice of that question (2 web site, 3 search, 4 nothing).
  void RunStartupChoice(int choice);

  // The last station of the command route (the application object).
  void SetAppTarget(CommandTarget* app) { app_ = app; }

  // Sends a command along the route: active pane, frame, application.
  // A disabled command does nothing.
  void RouteCommand(int id);
  bool IsCommandEnabledOnRoute(int id) const;
  // Brings the enabled state of every command's menu entry up to date.
  void UpdateCommandStates();

  int ActivePane() const { return activePane_; }
  void ActivatePane(int pane);
  void ActivateNextPane(bool backwards);
  QWidget* PaneWidget(int pane) const;

  CTreePanel* TreePanel() const { return tree_; }
  CListPanel* ListPanel() const { return list_; }
  CDnldList* DnldList() const { return dnld_; }
  CStatusView* StatusView() const { return status_; }
  QToolBar* ToolBar() const { return toolBar_; }
  QLabel* MessagePane() const { return messagePane_; }
  QLabel* Indicator(int i) const { return indicators_[i]; }
  QAction* MenuAction(int id) const;
  QAction* ToolAction(int id) const;
  QAction* NextPaneAction() const { return nextPane_; }
  QAction* PrevPaneAction() const { return prevPane_; }
  QTimer& ScheduleTimer() { return scheduleTimer_; }
  CPreviewPane* PreviewPane() const { return preview_; }
  CGallery* Gallery() const { return gallery_; }
  QTabWidget* Tabs() const { return tabs_; }
  bool GalleryShown() const;
  // Shows the gallery's tab (and gives it the focus), or the lists' tab.
  void ShowGallery(bool show);
  // The picture the Preview pane follows: the gallery's or the tree's.
  QString CurrentPicture() const;
  // Shows and hides the Preview pane (F3, and the downloaded-files tree's menu).
  QAction* PreviewAction() const { return previewAction_; }
  CRateIndicator* RatePane() const { return rate_; }

  // Where the help contents page is, or empty when it cannot be found.
  static QString HelpPagePath();

  // CommandTarget: the frame's own commands.
  bool OnCommand(int id) override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreatePanes();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreatePictureViews();
  QAction* MakeMenuAction(QMenu* menu, int id, const QString& label, const QString& prompt);
  void AddToolButton(int id, const QString& icon, const QString& prompt, const QString& tip);
  void OnScheduleTick();
  void OpenHelpContents();
  void ShowIdleMessage();
  void UpdateLockIndicators(const QKeyEvent& key);

  CTreePanel* tree_ = nullptr;
  CListPanel* list_ = nullptr;
  CDnldList* dnld_ = nullptr;
  CStatusView* status_ = nullptr;
  QSplitter* columns_ = nullptr;
  QSplitter* leftRows_ = nullptr;
  QSplitter* rightRows_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  CGallery* gallery_ = nullptr;
  int paneBeforeGallery_ = kTreePane;
  QToolBar* toolBar_ = nullptr;
  QLabel* messagePane_ = nullptr;
  QLabel* indicators_[3] = {};
  QAction* nextPane_ = nullptr;
  QAction* prevPane_ = nullptr;
  CPreviewPane* preview_ = nullptr;
  QAction* previewAction_ = nullptr;
  CRateIndicator* rate_ = nullptr;
  std::map<int, QAction*> menuActions_;
  std::map<int, QAction*> toolActions_;
  QTimer scheduleTimer_;
  CommandTarget* app_ = nullptr;
  int activePane_ = kTreePane;
  LockKeys lockKeys_;
  QMetaObject::Connection focusWatch_;
  Engine& engine_;
  std::unique_ptr<CViewReporter> reporter_;
  std::unique_ptr<ShownList> shown_;
  std::unique_ptr<CQtUiDispatcher> dispatcher_;
  std::unique_ptr<CProjectNotifier> notifier_;
};

}  // namespace tvx::ui
