// SPDX-License-Identifier: MIT
#pragma once
// The main window: a fixed 736 x 530 client area with the canvas and the
// fifteen buttons at fixed places. It turns Qt's events into the window-free
// dispatcher's events and carries out what the dispatcher changes.

#include "app/autopilot.h"
#include "app/dialog_view.h"

#include <QElapsedTimer>
#include <QMargins>
#include <QMenu>
#include <QFont>
#include <QPushButton>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

class QTimer;


namespace tambrel {

class CanvasWidget;
class Program;
struct ModeInfo;
class QtPlatform;
class KeepControl;
class X11WindowWatch;
class ReplayBar;
class HintLine;
class SavedNote;

// A push button of the window; its own class so that screen readers can be
// told that a mode button is a toggle (see accessibility.cpp).
class ControlButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

class MainDialog : public QWidget, public DialogView {
    Q_OBJECT
public:
    // Properties of the controls: their control id, and for a mode button
    // whether its mode is on.
    static constexpr const char* kControlIdProperty = "controlId";
    static constexpr const char* kModeOnProperty = "modeOn";

    MainDialog();
    ~MainDialog() override;

    // The program and platform exist after the window; attach them before use.
    void attach(Program* program, QtPlatform* platform);
    // The sessions' menu entries and shortcuts act on these, and a replay
    // shows its bar under the window.
    void attachKeeping(KeepControl* sessions);
    ReplayBar* replayBar() const { return m_replayBar; }
    // The canvas's context menu: saving and opening sessions.
    QMenu* canvasMenu() const { return m_menu; }
    CanvasWidget* canvasWidget() const { return m_canvas; }
    QPushButton* button(int id) const;
    QWidget* control(int id) const;
    // Plays by itself (the canvas menu's "Play by Itself"): a seeded hand
    // moves the pointer, clicks and switches modes until a real press,
    // click or key takes over.
    void playByItself(uint32_t seed, uint32_t secondsPerMode = Autopilot::kSecondsPerMode);
    void stopPlaying();
    bool playing() const { return m_pilot != nullptr; }
    // Centres the outer window (the client area grown by `frame`) on the available desktop.
    void centreOnDesktop(QMargins frame);

    void setTitle(const std::string& title) override;
    void setButtonCaption(int id, const std::string& caption) override;
    void setButtonFont(int id, ButtonFont font) override;
    void setButtonEnabled(int id, bool enabled) override;
    int focusedControl() override;
    void setFocusedControl(int id) override;
    void setPointerShape(int overControlId, PointerShape shape) override;
    void releaseFonts() override;

    const QFont& dialogFont() const { return m_dialogFont; }
    const QFont& boldFont() const { return m_boldFont; }
    const QFont& normalFont() const { return m_normalFont; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void command(int id, int notifyCode);
    void describeCanvas(const ModeInfo* on);
    // Nothing is painted and the pointer is not read while the window is
    // minimised or otherwise not exposed (rolled up, unmapped).
    void updateHidden();
    void showReplayBar(bool show);
    void watchWaiting();
    void sayHint();

    Program* m_program = nullptr;
    QtPlatform* m_platform = nullptr;
    KeepControl* m_keeping = nullptr;
    ReplayBar* m_replayBar = nullptr;
    SavedNote* m_savedNote = nullptr;
    HintLine* m_hintLine = nullptr;
    const ModeInfo* m_on = nullptr; // the mode that is on, as the title says
    bool m_waiting = false;         // it waits for a click to draw anything
    QTimer* m_waitWatch = nullptr;
    QTimer* m_replayWatch = nullptr;
    std::vector<QAction*> m_replayActions; // its shortcuts, live while it plays
    QMenu* m_menu = nullptr;
    std::unique_ptr<Autopilot> m_pilot; // the hand, while the program plays by itself
    QTimer* m_pilotTimer = nullptr;
    QElapsedTimer m_pilotClock;
    QAction* m_playAction = nullptr;
    CanvasWidget* m_canvas = nullptr;
    std::map<int, QPushButton*> m_buttons;
    QFont m_dialogFont, m_boldFont, m_normalFont;
    bool m_centred = false;
    bool m_destroyed = false;
    std::unique_ptr<X11WindowWatch> m_x11Watch;
    bool m_hiddenByWindowManager = false;
};

// The small sans-serif user-interface font the buttons use, 8 points.
QFont uiFont(int weight);

} // namespace tambrel
