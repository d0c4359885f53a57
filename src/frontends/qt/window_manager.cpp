#include "frontends/qt/window_manager.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#if defined(TAVI_WITH_XCB) && QT_CONFIG(xcb)
#include <xcb/xcb.h>
#define TAVI_HAVE_XCB 1
#endif

namespace tavi {
namespace {

#ifdef TAVI_HAVE_XCB
struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
  return reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The value of property `property` of `window`, as bytes (empty when it has none).
QByteArray Property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                    xcb_atom_t type) {
  Reply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 256), nullptr));
  if (reply == nullptr) return {};
  const int length = xcb_get_property_value_length(reply.get());
  if (length <= 0) return {};
  return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
}

// The name the running window manager gives itself (_NET_WM_NAME of its check window).
QByteArray WindowManagerName() {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return {};
  xcb_connection_t* c = x11->connection();
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (screen == nullptr) return {};
  const QByteArray check =
      Property(c, screen->root, Atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
  if (check.size() != sizeof(xcb_window_t)) return {};
  xcb_window_t wm = 0;
  std::memcpy(&wm, check.constData(), sizeof wm);
  return Property(c, wm, Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING"));
}
#endif

}  // namespace

void KeepMinimiseBoxOff(QWidget& window) {
#ifdef TAVI_HAVE_XCB
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return;
  if (window.windowHandle() == nullptr || WindowManagerName() != "Openbox") return;
  // The window's types with "toolbar" first: openbox takes the first type it knows, and drops
  // both boxes from toolbars; the frame and the close box stay.
  xcb_connection_t* c = x11->connection();
  const auto id = static_cast<xcb_window_t>(window.windowHandle()->winId());
  const xcb_atom_t type = Atom(c, "_NET_WM_WINDOW_TYPE");
  const xcb_atom_t toolbar = Atom(c, "_NET_WM_WINDOW_TYPE_TOOLBAR");
  const QByteArray types = Property(c, id, type, XCB_ATOM_ATOM);
  std::vector<xcb_atom_t> atoms{toolbar};
  for (qsizetype at = 0; at + 4 <= types.size(); at += 4) {
    xcb_atom_t atom = 0;
    std::memcpy(&atom, types.constData() + at, sizeof atom);
    if (atom != toolbar) atoms.push_back(atom);
  }
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, type, XCB_ATOM_ATOM, 32,
                      static_cast<std::uint32_t>(atoms.size()), atoms.data());
  xcb_flush(c);
#else
  (void)window;
#endif
}

}  // namespace tavi
