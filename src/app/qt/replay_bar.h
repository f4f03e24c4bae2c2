// SPDX-License-Identifier: MIT
#pragma once
// The bar under the window while a session replays: its name, the time,
// a timeline with the points where modes were switched and how far the
// copies for seeking reach, play and pause, the speed, "Take Over" and a
// close. The window grows by its height while it shows; the canvas and the
// buttons stay where they are.

#include <QWidget>

#include <cstdint>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace tambrel {

class KeepControl;

// The timeline: the session from start to end, the copies' reach shaded,
// a tick at every mode switch, the position as a handle. A click or a drag
// seeks; with the focus, the arrow keys go 5 s, Page Up and Down a minute,
// Home and End to the ends.
class ReplayTimeline : public QWidget {
    Q_OBJECT
public:
    explicit ReplayTimeline(QWidget* parent);
    void show(uint32_t positionMs, uint32_t reachMs, uint32_t durationMs, const std::vector<uint32_t>& switches);
    QSize sizeHint() const override { return {240, 22}; }

signals:
    void seek(uint32_t ms);
    // From where the replay stands or is going: keys typed faster than the
    // bar refreshes add up.
    void seekBy(int64_t ms);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    uint32_t at(int x) const;
    int xOf(uint32_t ms) const;

    uint32_t m_position = 0, m_reach = 0, m_duration = 1;
    std::vector<uint32_t> m_switches;
};

class ReplayBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 34;
    ReplayBar(QWidget* parent, KeepControl& keeping);
    // Shows the replay as it stands now.
    void refresh();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    KeepControl& m_keeping;
    QLabel* m_name;
    QLabel* m_time;
    ReplayTimeline* m_timeline;
    QPushButton* m_play;
    QComboBox* m_speed;
    QPushButton* m_takeOver;
    QToolButton* m_close;
};

// "1:05" or "1:02:03"; with tenths "1:05.3".
QString clockText(uint32_t ms, bool tenths = false);

} // namespace tambrel
