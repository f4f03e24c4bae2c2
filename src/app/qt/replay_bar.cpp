// SPDX-License-Identifier: MIT
#include "app/qt/replay_bar.h"

#include "app/qt/keep_control.h"
#include "app/replay_control.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

namespace tambrel {

QString clockText(uint32_t ms, bool tenths)
{
    const uint32_t s = ms / 1000;
    const QString whole = s >= 3600 ? QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'))
                                    : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return tenths ? QStringLiteral("%1.%2").arg(whole).arg(ms / 100 % 10) : whole;
}

ReplayTimeline::ReplayTimeline(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumWidth(120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Replay position"));
    setCursor(Qt::PointingHandCursor);
}

void ReplayTimeline::show(uint32_t positionMs, uint32_t reachMs, uint32_t durationMs, const std::vector<uint32_t>& switches)
{
    m_position = positionMs, m_reach = reachMs, m_duration = std::max<uint32_t>(durationMs, 1);
    if (m_switches != switches) m_switches = switches;
    setToolTip(QStringLiteral("%1 of %2: click or drag to go anywhere; the shading shows how far going there is quick")
                   .arg(clockText(positionMs), clockText(durationMs)));
    update();
}

int ReplayTimeline::xOf(uint32_t ms) const
{
    return 6 + static_cast<int>(static_cast<double>(ms) / m_duration * (width() - 12));
}

uint32_t ReplayTimeline::at(int x) const
{
    const double f = std::clamp((x - 6.0) / std::max(1, width() - 12), 0.0, 1.0);
    return static_cast<uint32_t>(f * m_duration);
}

void ReplayTimeline::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int mid = height() / 2;
    const QRect groove(6, mid - 3, width() - 12, 6);
    p.fillRect(groove, palette().color(QPalette::Base));
    p.fillRect(QRect(groove.left(), groove.top(), xOf(m_reach) - groove.left(), groove.height()), palette().color(QPalette::Mid));
    p.fillRect(QRect(groove.left(), groove.top(), xOf(m_position) - groove.left(), groove.height()), palette().color(QPalette::Highlight));
    p.setPen(palette().color(QPalette::Dark));
    p.setBrush(Qt::NoBrush);
    p.drawRect(groove.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::WindowText));
    for (uint32_t t : m_switches) p.drawLine(xOf(t), mid - 7, xOf(t), mid - 4); // a mode switched here
    const int x = xOf(m_position);
    p.setBrush(palette().color(QPalette::Button));
    p.drawRect(x - 3, mid - 7, 6, 14);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void ReplayTimeline::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) emit seek(at(event->position().toPoint().x()));
}

void ReplayTimeline::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) emit seek(at(event->position().toPoint().x()));
}

void ReplayTimeline::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left: emit seekBy(-5000); break;
    case Qt::Key_Right: emit seekBy(5000); break;
    case Qt::Key_PageUp: emit seekBy(-60000); break;
    case Qt::Key_PageDown: emit seekBy(60000); break;
    case Qt::Key_Home: emit seek(0); break;
    case Qt::Key_End: emit seek(m_duration); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

ReplayBar::ReplayBar(QWidget* parent, KeepControl& keeping) : QWidget(parent), m_keeping(keeping)
{
    setAutoFillBackground(true);
    setAccessibleName(QStringLiteral("Replay"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 6);
    row->setSpacing(6);
    m_play = new QPushButton(this);
    m_play->setToolTip(QStringLiteral("Pause or play the replay (Ctrl+P)"));
    m_name = new QLabel(this);
    // The name takes what room the timeline leaves it, elided only then.
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_name->setMinimumWidth(60);
    m_time = new QLabel(this);
    m_timeline = new ReplayTimeline(this);
    m_speed = new QComboBox(this);
    m_speed->setAccessibleName(QStringLiteral("Speed"));
    m_speed->setToolTip(QStringLiteral("The replay's speed (Ctrl+Minus slower, Ctrl+Plus faster)"));
    for (double s : ReplayControl::kSpeeds) m_speed->addItem(QString::fromStdString(ReplayControl::speedLabel(s)), s);
    m_takeOver = new QPushButton(QStringLiteral("Take Over"), this);
    m_takeOver->setToolTip(QStringLiteral("The window is yours from this picture on, as with any press or click; "
                                          "the recording goes on (Ctrl+Enter)"));
    m_close = new QToolButton(this);
    m_close->setText(QStringLiteral("×"));
    m_close->setAccessibleName(QStringLiteral("Close the replay"));
    m_close->setToolTip(QStringLiteral("End the replay here: the picture stays as it is, and the window is yours"));
    for (QWidget* w : std::initializer_list<QWidget*>{m_play, m_speed, m_takeOver, m_close}) w->setFocusPolicy(Qt::StrongFocus);
    row->addWidget(m_play);
    row->addWidget(m_name, 2);
    row->addWidget(m_time);
    row->addWidget(m_timeline, 3);
    row->addWidget(m_speed);
    row->addWidget(m_takeOver);
    row->addWidget(m_close);

    connect(m_play, &QPushButton::clicked, this, [this] { m_keeping.toggleReplayPause(); });
    connect(m_timeline, &ReplayTimeline::seek, this, [this](uint32_t ms) { m_keeping.seekReplay(ms); });
    connect(m_timeline, &ReplayTimeline::seekBy, this, [this](int64_t ms) { m_keeping.seekReplayBy(ms); });
    connect(m_speed, &QComboBox::activated, this, [this](int i) { m_keeping.setReplaySpeed(m_speed->itemData(i).toDouble()); });
    connect(m_takeOver, &QPushButton::clicked, this, [this] { m_keeping.takeOver(); });
    connect(m_close, &QToolButton::clicked, this, [this] { m_keeping.takeOver(); });
}

void ReplayBar::refresh()
{
    const ReplayControl* r = m_keeping.replayControl();
    if (!r) return;
    const QString name = QString::fromStdString(r->name());
    m_name->setText(fontMetrics().elidedText(QStringLiteral("Replaying %1").arg(name), Qt::ElideMiddle, m_name->width()));
    m_name->setToolTip(QStringLiteral("Replaying %1: a press or a click takes over from what it shows").arg(name));
    // Tenths where the user looks closely: paused, or dragging the handle.
    const bool fine = r->paused() || QApplication::mouseButtons() & Qt::LeftButton;
    if (r->seeking())
        m_time->setText(QStringLiteral("Going to %1 (at %2)").arg(clockText(r->seekTargetMs(), fine), clockText(r->seekReachMs())));
    else
        m_time->setText(QStringLiteral("%1 / %2").arg(clockText(r->positionMs(), fine), clockText(r->durationMs())));
    m_timeline->show(r->shownMs(), r->copiesReachMs(), r->durationMs(), r->switches());
    m_play->setText(r->paused() ? QStringLiteral("Play") : QStringLiteral("Pause"));
    const int speed = m_speed->findData(r->speed());
    if (speed >= 0 && speed != m_speed->currentIndex()) m_speed->setCurrentIndex(speed);
}

void ReplayBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    refresh(); // the name elided to its new room
}

} // namespace tambrel
