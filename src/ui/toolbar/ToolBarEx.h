#pragma once
// The main window's toolbar, drawn flat: buttons show no border until the
// pointer is over them, a pressed or checked button sits sunken, separators
// are etched lines and a docked bar has a double-bar gripper. Layout, tool
// tips, status-bar prompts, docking and floating are QToolBar's own.
#include <QColor>
#include <QTimer>
#include <QToolBar>

namespace tvx::ui {

class CToolBarEx : public QToolBar {
  Q_OBJECT

 public:
  // Colours the bar paints with, read from its palette.
  struct Colours {
    QColor face;       // background of the bar and its buttons
    QColor highlight;  // lit edges
    QColor shadow;     // shaded edges
    QColor light;      // background of a pressed or checked button
  };

  // The period of the timer that notices the pointer has left the bar.
  static constexpr int kHotTimerMs = 250;

  explicit CToolBarEx(QWidget* parent = nullptr);
  ~CToolBarEx() override;

  // With flat drawing off the bar draws like a plain QToolBar.
  void SetFlat(bool flat);
  bool IsFlat() const { return flat_; }

  // Index in actions() of the button under the pointer, -1 for none.
  int HotButton() const { return hot_; }
  bool IsHot(const QWidget* button) const;

  // Whether widget is the button the bar made for one of its actions.
  bool IsButton(const QWidget* widget) const;

  // The button widget of actions()[index], or nullptr for a separator.
  QWidget* ButtonAt(int index) const;

  const Colours& colours() const { return colours_; }

 protected:
  bool event(QEvent* e) override;
  void actionEvent(QActionEvent* e) override;
  void changeEvent(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void AdoptItemWidget(QAction* action);
  bool WindowTakesPointer() const;
  void TrackPointer(const QPoint& global_pos);
  void OnHotTimer();
  bool PointerOverBar() const;
  void RepaintButton(int index);
  void ReadColours();
  void RepaintAll();

  bool flat_ = true;
  int hot_ = -1;
  QTimer hot_timer_;
  Colours colours_;
};

}  // namespace tvx::ui
