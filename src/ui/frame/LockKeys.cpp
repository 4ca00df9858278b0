#include "ui/frame/LockKeys.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace tvx::ui {
namespace {

// X11 modifier state bits of the lock keys.
constexpr quint32 kX11LockMask = 0x02;
constexpr quint32 kX11NumLockMask = 0x10;

bool OnX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

}  // namespace

void LockKeys::Update(const QKeyEvent& event) {
  if (OnX11()) {
    caps_ = event.nativeModifiers() & kX11LockMask;
    num_ = event.nativeModifiers() & kX11NumLockMask;
  }
  if (const std::optional<bool> shown = DisplayScrollLock())
    scroll_ = *shown;
  else if (event.type() == QEvent::KeyPress && event.key() == Qt::Key_ScrollLock &&
           !event.isAutoRepeat())
    scroll_ = !scroll_;
}

}  // namespace tvx::ui

// Below all code that uses Qt's names: the X headers define KeyPress and
// others as macros.
#if QT_CONFIG(xcb)
#include <X11/XKBlib.h>
#endif

namespace tvx::ui {

std::optional<bool> DisplayScrollLock() {
#if QT_CONFIG(xcb)
  if (!OnX11()) return std::nullopt;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  Display* display = x11 ? x11->display() : nullptr;
  if (!display) return std::nullopt;
  static const Atom name = XInternAtom(display, "Scroll Lock", False);
  XkbIndicatorMapRec map{};
  Bool on = False;
  if (!XkbGetNamedIndicator(display, name, nullptr, &on, &map, nullptr)) return std::nullopt;
  // The indicator follows a locked modifier only when that modifier is
  // bound to a real one; otherwise it never changes.
  if (!(map.which_mods & XkbIM_UseLocked) || map.mods.mask == 0) return std::nullopt;
  return on != False;
#else
  return std::nullopt;
#endif
}

}  // namespace tvx::ui
