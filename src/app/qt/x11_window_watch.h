// SPDX-License-Identifier: MIT
#pragma once
// Facts about the main window that X11 tells and Qt does not pass on
// reliably: another program destroyed it (xdotool windowclose and the like);
// the window manager rolled it up into its title bar (shaded: still mapped
// and "exposed" for Qt, but nothing of it shows); the size of the frame the
// window manager put around it (Qt may keep the frame it saw before the
// window manager said). Only on X11; elsewhere the watch does nothing.

#include <QAbstractNativeEventFilter>
#include <QMargins>

#include <cstdint>
#include <functional>

class QWidget;

namespace tambrel {

class X11WindowWatch : public QAbstractNativeEventFilter {
public:
    struct Callbacks {
        std::function<void()> destroyed;     // by another program
        std::function<void(bool)> hidden;    // rolled up or minimised (true), shown again (false)
        std::function<void(QMargins)> framed; // the frame's width on each side, whenever it changes
    };
    // Starts watching `window` (created already) if the application runs on X11.
    X11WindowWatch(QWidget* window, Callbacks callbacks);
    ~X11WindowWatch() override;
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

private:
    bool hiddenByWindowManager() const;
    void readFrame() const;

    QWidget* m_window;
    Callbacks m_on;
    void* m_connection = nullptr; // xcb_connection_t
    uint32_t m_wmState = 0, m_netWmState = 0, m_shaded = 0, m_hiddenState = 0, m_frameExtents = 0; // atoms
    bool m_wasHidden = false;
};

} // namespace tambrel
