// SPDX-License-Identifier: MIT
#include "app/qt/main_dialog.h"

#include "app/about.h"
#include "app/autopilot.h"
#include "app/layout.h"
#include "app/mode_table.h"
#include "app/program.h"
#include "app/qt/canvas_widget.h"
#include "app/qt/qt_platform.h"
#include "app/qt/keep_control.h"
#include "app/qt/replay_bar.h"
#include "app/qt/saved_note.h"
#include "app/qt/x11_window_watch.h"
#include "app/replay_control.h"

#include <QAccessible>
#include <QAction>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace tambrel {

namespace {

QString text(std::string_view v) { return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())); }

const ModeInfo* modeFor(int buttonId)
{
    for (const ModeInfo& info : kModeTable)
        if (info.buttonId == buttonId) return &info;
    return nullptr;
}
} // namespace

QFont uiFont(int weight)
{
    // The classic dialog font where it exists, else the nearest small sans-serif.
    QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    const QStringList available = QFontDatabase::families();
    for (std::string_view f : layout::kFontFamilies) {
        const QString name = QString::fromLatin1(f.data(), static_cast<qsizetype>(f.size()));
        if (available.contains(name, Qt::CaseInsensitive)) {
            family = name;
            break;
        }
    }
    QFont font(family);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPixelSize(static_cast<int>(std::lround(layout::kFontPoints * dpi / 72.0))); // 11 px at 96 dpi
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

MainDialog::MainDialog()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      m_dialogFont(uiFont(QFont::Normal)), m_boldFont(uiFont(QFont::Bold)), m_normalFont(uiFont(QFont::Normal))
{
    setWindowTitle(QStringLiteral("Tambrel"));
    setFixedSize(layout::kClientWidth, layout::kClientHeight);
    setFont(m_dialogFont);
    setProperty(kControlIdProperty, kNoControl);

    m_canvas = new CanvasWidget(this);
    m_canvas->setGeometry(layout::kCanvas.left, layout::kCanvas.top, layout::kCanvas.width, layout::kCanvas.height);
    m_canvas->setProperty(kControlIdProperty, kCanvasId);
    m_canvas->setAccessibleName(QStringLiteral("Canvas"));
    m_waitWatch = new QTimer(this);
    connect(m_waitWatch, &QTimer::timeout, this, &MainDialog::watchWaiting);
    m_hintLine = new HintLine(this);
    describeCanvas(nullptr);
    sayHint();

    for (int n = 0; n < layout::kButtonSlots; ++n) {
        const int id = layout::buttonId(n);
        if (id == kEmptySlotId) continue;
        auto* b = new ControlButton(this);
        const layout::Rect r = layout::buttonRect(id);
        b->setGeometry(r.left, r.top, r.width, r.height);
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setFocusPolicy(Qt::StrongFocus); // a tab stop
        b->setFont(m_dialogFont);
        b->setProperty(kControlIdProperty, id);
        b->setAccessibleDescription(id == kClearScreenId ? QString::fromStdString(buttonHint(id)) : text(modeFor(id)->shows));
        b->setToolTip(QString::fromStdString(buttonHint(id))); // what the mode shows, and what a click does
        b->installEventFilter(this);
        connect(b, &QPushButton::clicked, this, [this, id] { command(id, kClicked); });
        m_buttons[id] = b;
    }

    // Keeping what the user sees: the canvas's context menu and the
    // desktop's usual shortcuts, both anywhere in the window.
    m_menu = new QMenu(this);
    auto entry = [this](const QString& text, const QKeySequence& keys, auto act) {
        QAction* a = m_menu->addAction(text);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        connect(a, &QAction::triggered, this, [this, act] {
            if (m_keeping) (m_keeping->*act)();
        });
    };
    entry(QStringLiteral("Save Picture…"), QKeySequence(Qt::CTRL | Qt::Key_S), &KeepControl::savePicture);
    entry(QStringLiteral("Save Clip…"), QKeySequence(Qt::CTRL | Qt::Key_E), &KeepControl::saveClip);
    m_menu->addSeparator();
    entry(QStringLiteral("Save Session…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &KeepControl::saveSession);
    entry(QStringLiteral("Open Session…"), QKeySequence(Qt::CTRL | Qt::Key_O), &KeepControl::openSession);
    m_menu->addSeparator();
    m_playAction = m_menu->addAction(QStringLiteral("Play by Itself"));
    m_playAction->setCheckable(true);
    m_playAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    m_playAction->setShortcutContext(Qt::WindowShortcut);
    addAction(m_playAction);
    connect(m_playAction, &QAction::triggered, this, [this](bool on) {
        if (on) playByItself(Rnd::clockSeed());
        else stopPlaying();
    });
    m_pilotTimer = new QTimer(this);
    m_pilotTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pilotTimer, &QTimer::timeout, this, [this] {
        if (!m_pilot || !m_program || m_destroyed) return;
        // The hand's moves go in as a person's: the pointer first, then its
        // press and its click, all recorded.
        const Autopilot::Move move = m_pilot->next(static_cast<uint32_t>(m_pilotClock.elapsed()));
        m_platform->setHand(QPoint(move.x, move.y));
        giveMove(*m_program, move);
    });
    m_menu->addSeparator();
    QAction* about = m_menu->addAction(QStringLiteral("About Tambrel…"));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    addAction(about);
    connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(this, QString::fromUtf8(kAboutTitle), QString::fromStdString(aboutText(true, true, true)));
    });
    m_canvas->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_canvas, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_menu->popup(m_canvas->mapToGlobal(at)); });
}

MainDialog::~MainDialog() = default;

void MainDialog::attachKeeping(KeepControl* keeping)
{
    m_keeping = keeping;
    m_replayBar = new ReplayBar(this, *keeping);
    m_replayBar->setGeometry(0, layout::kClientHeight, layout::kClientWidth, ReplayBar::kHeight);
    m_replayBar->hide();
    m_replayWatch = new QTimer(this);
    connect(m_replayWatch, &QTimer::timeout, this, [this] {
        m_replayBar->refresh();
        // Paused with nothing on its way, the bar has nothing new to show:
        // the window sleeps until the user steers again.
        const ReplayControl* r = m_keeping->replayControl();
        if (r && r->paused() && !r->seeking() && r->copies().done()) m_replayWatch->stop();
    });
    connect(keeping, &KeepControl::replaySteered, this, [this] {
        if (!m_replayBar->isVisible()) return;
        m_replayBar->refresh();
        m_replayWatch->start(50);
    });
    // The replay's keys: none of them a dialog key (Space and Enter still
    // press the focused button, Escape does nothing).
    auto key = [this](const QKeySequence& keys, auto act) {
        auto* a = new QAction(this);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        a->setEnabled(false);
        addAction(a);
        connect(a, &QAction::triggered, this, act);
        m_replayActions.push_back(a);
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_P), [this] { m_keeping->toggleReplayPause(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { m_keeping->seekReplayBy(-5000); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { m_keeping->seekReplayBy(5000); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { m_keeping->seekReplay(0); });
    key(QKeySequence(Qt::CTRL | Qt::Key_End), [this] { m_keeping->seekReplay(UINT32_MAX); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { m_keeping->stepReplaySpeed(-1); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Plus), [this] { m_keeping->stepReplaySpeed(1); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { m_keeping->stepReplaySpeed(1); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Return), [this] { m_keeping->takeOver(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_Enter), [this] { m_keeping->takeOver(); });
    connect(keeping, &KeepControl::replayStarted, this, [this] {
        stopPlaying(); // the session opened plays instead
        showReplayBar(true);
    });
    m_savedNote = new SavedNote(this, m_hintLine);
    connect(keeping, &KeepControl::saved, m_savedNote, &SavedNote::tell);
    connect(keeping, &KeepControl::replayEnded, this, [this] { showReplayBar(false); });
}

// The window grows by the bar while a replay plays; the canvas and the
// buttons keep their places.
void MainDialog::showReplayBar(bool show)
{
    if (show == m_replayBar->isVisible()) return;
    for (QAction* a : m_replayActions) a->setEnabled(show);
    if (show) m_replayBar->refresh();
    m_replayBar->setVisible(show);
    setFixedSize(layout::kClientWidth, layout::kClientHeight + (show ? ReplayBar::kHeight : 0));
    if (show) m_replayWatch->start(50);
    else m_replayWatch->stop();
}

void MainDialog::attach(Program* program, QtPlatform* platform)
{
    m_program = program;
    m_platform = platform;
    m_canvas->attach(program);
    m_canvas->setOnClick([this](int code) { command(kCanvasId, code); });
    // The pointer shape of every control, as the dispatcher decides it.
    for (QWidget* w : findChildren<QWidget*>())
        program->onDialogEvent({DialogMessage::SetCursor, w->property(kControlIdProperty).toInt(), 0, false});
    program->onDialogEvent({DialogMessage::SetCursor, kNoControl, 0, false});
}

QPushButton* MainDialog::button(int id) const
{
    const auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

QWidget* MainDialog::control(int id) const
{
    if (id == kCanvasId) return m_canvas;
    if (id == kNoControl) return const_cast<MainDialog*>(this);
    return button(id);
}

void MainDialog::playByItself(uint32_t seed, uint32_t secondsPerMode)
{
    if (!m_program || !m_platform || m_destroyed) return;
    if (m_keeping) m_keeping->takeOver(); // a replay ends where it is
    m_pilot = std::make_unique<Autopilot>(Autopilot::Settings{seed, secondsPerMode});
    m_pilotClock.start();
    m_pilotTimer->start(10);
    m_playAction->setChecked(true);
}

void MainDialog::stopPlaying()
{
    if (!m_pilot) return;
    m_pilotTimer->stop();
    m_pilot.reset();
    m_platform->setHand(std::nullopt);
    m_playAction->setChecked(false);
}

void MainDialog::command(int id, int notifyCode)
{
    if (!m_program || m_destroyed) return;
    stopPlaying(); // the user's press or click takes over, from the picture as it is
    if (m_keeping) m_keeping->takeOver(); // a replay stops: the user's press is the first of their own
    if (m_platform) m_platform->pollPointer(); // the first pass of a mode switched on sees where the pointer is
    m_program->onDialogEvent({DialogMessage::Command, id, notifyCode, false});
}

// The outer window (frame included) centred on the work area; a window
// larger than the work area (a large scale on a small screen) keeps its
// title bar on it, so that it can still be dragged.
void MainDialog::centreOnDesktop(QMargins frame)
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect work = s->availableGeometry();
    const QSize outer = size().grownBy(frame);
    const int left = std::max(work.left(), (work.left() + (work.left() + work.width()) - outer.width()) / 2);
    const int top = std::max(work.top(), (work.top() + (work.top() + work.height()) - outer.height()) / 2);
    setGeometry(QRect(QPoint(left + frame.left(), top + frame.top()), size())); // the client area's place
}

void MainDialog::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (QWindow* w = windowHandle(); w && !m_x11Watch) {
        w->installEventFilter(this); // its exposure
        m_x11Watch = std::make_unique<X11WindowWatch>(
            this, X11WindowWatch::Callbacks{
                      // Destroyed by another program: the program ends as a close would.
                      [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); },
                      [this](bool hidden) {
                          m_hiddenByWindowManager = hidden;
                          updateHidden();
                      },
                      // The window manager frames the window after it is mapped:
                      // centred once more, frame included.
                      [this](QMargins frame) {
                          centreOnDesktop(frame);
                          m_hintLine->follow();
                      }});
    }
    updateHidden();
    m_hintLine->follow();
    if (m_centred) return;
    m_centred = true;
    const QRect f = frameGeometry(), g = geometry(); // the frame as far as it is known yet
    centreOnDesktop(QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()));
}

// Enter presses the focused button, as a dialog's keyboard handling does
// with a push button that has the focus; no button is the default otherwise.
void ControlButton::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        event->accept();
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

// The focused button wears a ring plain enough to find at a glance (the
// style's own is a faint tint): two pixels of the highlight colour inside
// its edge.
void ControlButton::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    if (!hasFocus()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(2, 2, -2, -2));
}

void MainDialog::keyPressEvent(QKeyEvent* event)
{
    stopPlaying(); // any key takes over
    // No default or cancel button: Enter elsewhere (on the canvas) and
    // Escape do nothing.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void MainDialog::closeEvent(QCloseEvent* event)
{
    stopPlaying();
    if (m_platform) m_platform->setClosing(); // the animation thread must not wait for paints now
    if (m_program && !m_destroyed) m_program->onDialogEvent({DialogMessage::Destroy, kNoControl, 0, false});
    m_destroyed = true;
    event->accept();
}

void MainDialog::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && m_program && !m_destroyed)
        m_program->onDialogEvent({DialogMessage::NcActivate, kNoControl, 0, isActiveWindow()});
    if (event->type() == QEvent::WindowStateChange) {
        updateHidden();
        m_hintLine->follow();
    }
}

void MainDialog::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    m_hintLine->follow();
}

void MainDialog::updateHidden()
{
    if (m_platform)
        m_platform->setHidden(isMinimized() || m_hiddenByWindowManager || !windowHandle() || !windowHandle()->isExposed());
}

void MainDialog::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_platform) m_platform->setHidden(true);
    m_hintLine->follow();
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) stopPlaying(); // a key on a button takes over too
    if (event->type() == QEvent::Expose && watched == windowHandle()) updateHidden();
    if (event->type() == QEvent::Enter && m_program) {
        if (auto* w = qobject_cast<QWidget*>(watched))
            m_program->onDialogEvent({DialogMessage::SetCursor, w->property(kControlIdProperty).toInt(), 0, false});
    }
    return QWidget::eventFilter(watched, event);
}

void MainDialog::setTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
    m_on = nullptr;
    for (const ModeInfo& info : kModeTable)
        if (info.title == title) m_on = &info;
    m_waiting = false;
    describeCanvas(m_on);
    sayHint();
    // A mode that draws nothing before a click says so until it has drawn.
    if (m_on && !m_on->untilClicked.empty()) m_waitWatch->start(200);
}

// While the mode that is on waits for a click to draw anything, the user
// is told to click: under the window (never over the canvas's pixels) and
// in the canvas's description for screen readers.
void MainDialog::watchWaiting()
{
    const bool waiting = m_program && m_on && isVisible() && m_program->waitingForClick();
    if (!waiting) m_waitWatch->stop();
    if (waiting == m_waiting) return;
    m_waiting = waiting;
    describeCanvas(m_on);
    sayHint();
}

// The line under the window, while the canvas waits for the user: no mode
// is on, or the mode that is on draws nothing before a click.
void MainDialog::sayHint()
{
    m_hintLine->say(!m_on      ? QString::fromStdString(canvasDescription(nullptr, false))
                    : m_waiting ? text(m_on->untilClicked)
                                : QString());
}

// The canvas's description for screen readers: the mode that is on, what it
// shows and what a click does.
void MainDialog::describeCanvas(const ModeInfo* on)
{
    const QString description = QString::fromStdString(canvasDescription(on, m_waiting));
    if (description == m_canvas->accessibleDescription()) return;
    m_canvas->setAccessibleDescription(description);
    QAccessibleEvent event(m_canvas, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

void MainDialog::setButtonCaption(int id, const std::string& caption)
{
    if (QPushButton* b = button(id)) b->setText(QString::fromStdString(caption));
}

void MainDialog::setButtonFont(int id, ButtonFont font)
{
    QPushButton* b = button(id);
    if (!b) return;
    b->setFont(font == ButtonFont::Bold ? m_boldFont : font == ButtonFont::Normal ? m_normalFont : m_dialogFont);
    // The bold caption is the mode that is on: screen readers see it checked.
    const bool on = font == ButtonFont::Bold;
    if (b->property(kModeOnProperty).toBool() == on) return;
    b->setProperty(kModeOnProperty, on);
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(b, changed);
    QAccessible::updateAccessibility(&event);
}

void MainDialog::setButtonEnabled(int id, bool enabled)
{
    if (QPushButton* b = button(id)) b->setEnabled(enabled);
}

int MainDialog::focusedControl()
{
    QWidget* w = focusWidget();
    return w ? w->property(kControlIdProperty).toInt() : kNoControl;
}

void MainDialog::setFocusedControl(int id)
{
    if (QWidget* w = control(id)) w->setFocus(Qt::ActiveWindowFocusReason);
}

void MainDialog::setPointerShape(int overControlId, PointerShape shape)
{
    if (QWidget* w = control(overControlId)) w->setCursor(shape == PointerShape::Hidden ? Qt::BlankCursor : Qt::ArrowCursor);
}

void MainDialog::releaseFonts()
{
    // Qt fonts are values: nothing to free. The buttons keep theirs until the
    // window is gone.
}

} // namespace tambrel
