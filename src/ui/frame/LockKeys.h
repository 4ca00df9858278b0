// The state of the lock keys behind the status bar's CAP, NUM and SCRL
// indicators.
#pragma once

#include <optional>

class QKeyEvent;

namespace tvx::ui {

class LockKeys {
 public:
  // Takes the state from a key event the window received.
  void Update(const QKeyEvent& event);

  bool Caps() const { return caps_; }
  bool Num() const { return num_; }
  bool Scroll() const { return scroll_; }

 private:
  bool caps_ = false;
  bool num_ = false;
  bool scroll_ = false;
};

// The Scroll Lock indicator of the display's keyboard, when the keymap lets
// the key change it; nullopt otherwise (many keymaps bind Scroll Lock to no
// lock at all, and then its presses are all there is to go by).
std::optional<bool> DisplayScrollLock();

}  // namespace tvx::ui
