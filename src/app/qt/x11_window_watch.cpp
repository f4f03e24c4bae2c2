// SPDX-License-Identifier: MIT
#include "app/qt/x11_window_watch.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace tambrel {

namespace {

xcb_connection_t* x11Connection()
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

uint32_t atom(xcb_connection_t* c, const char* name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr), &std::free);
    return reply ? reply->atom : 0;
}

} // namespace

X11WindowWatch::X11WindowWatch(QWidget* window, Callbacks callbacks) : m_window(window), m_on(std::move(callbacks))
{
    auto* c = x11Connection();
    if (!c) return;
    m_connection = c;
    m_wmState = atom(c, "WM_STATE");
    m_netWmState = atom(c, "_NET_WM_STATE");
    m_shaded = atom(c, "_NET_WM_STATE_SHADED");
    m_hiddenState = atom(c, "_NET_WM_STATE_HIDDEN");
    m_frameExtents = atom(c, "_NET_FRAME_EXTENTS");
    QCoreApplication::instance()->installNativeEventFilter(this);
    readFrame(); // the window manager may have framed it already
}

X11WindowWatch::~X11WindowWatch()
{
    if (m_connection) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11WindowWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*)
{
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const auto window = static_cast<xcb_window_t>(m_window->internalWinId());
    switch (event->response_type & 0x7F) {
    case XCB_DESTROY_NOTIFY:
        if (static_cast<const xcb_destroy_notify_event_t*>(message)->window == window) m_on.destroyed();
        break;
    case XCB_PROPERTY_NOTIFY: {
        const auto* changed = static_cast<const xcb_property_notify_event_t*>(message);
        if (changed->window != window) break;
        if (changed->atom == m_frameExtents) readFrame();
        if (changed->atom != m_wmState && changed->atom != m_netWmState) break;
        const bool now = hiddenByWindowManager();
        if (now != m_wasHidden) m_on.hidden(m_wasHidden = now);
        break;
    }
    }
    return false; // Qt handles every event as before
}

void X11WindowWatch::readFrame() const
{
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    const auto window = static_cast<xcb_window_t>(m_window->internalWinId());
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> extents(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, m_frameExtents, XCB_ATOM_CARDINAL, 0, 4), nullptr),
        &std::free);
    if (!extents || extents->format != 32 || extents->value_len != 4) return;
    const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(extents.get()));
    m_on.framed(QMargins(static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]), static_cast<int>(v[3])));
}

// Rolled up or minimised: the window manager says so in the window's ICCCM
// state (iconic) or its EWMH state (shaded, hidden).
bool X11WindowWatch::hiddenByWindowManager() const
{
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    const auto window = static_cast<xcb_window_t>(m_window->internalWinId());
    auto property = [&](uint32_t name, uint32_t type) {
        return std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)>(
            xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 32), nullptr), &std::free);
    };
    constexpr uint32_t kIconic = 3;
    if (auto state = property(m_wmState, m_wmState); state && state->format == 32 && state->value_len >= 1)
        if (static_cast<const uint32_t*>(xcb_get_property_value(state.get()))[0] == kIconic) return true;
    if (auto states = property(m_netWmState, XCB_ATOM_ATOM); states && states->format == 32) {
        const auto* atoms = static_cast<const uint32_t*>(xcb_get_property_value(states.get()));
        for (uint32_t i = 0; i < states->value_len; ++i)
            if (atoms[i] == m_shaded || atoms[i] == m_hiddenState) return true;
    }
    return false;
}

} // namespace tambrel
