#include "platform/qt/window_hints.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {
namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

void MarkWithoutMinimiseAndMaximise(QWidget& window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    bool tool = (window.windowFlags() & Qt::WindowType_Mask) == Qt::Tool;
    std::vector<xcb_atom_t> types = {
        Atom(connection, "_NET_WM_WINDOW_TYPE_TOOLBAR"),
        Atom(connection, tool ? "_NET_WM_WINDOW_TYPE_UTILITY" : "_NET_WM_WINDOW_TYPE_NORMAL")};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()),
                        Atom(connection, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32,
                        uint32_t(types.size()), types.data());
    xcb_flush(connection);
}

} // namespace platform
