// SPDX-License-Identifier: MIT
#include "app/autopilot.h"

#include "app/dialog_view.h"
#include "app/mode_table.h"
#include "app/program.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace tambrel {

namespace {

// How the pointer goes: drifting after a wandering target; resting at a
// place, then gliding to the next; jumping to a new place at each click;
// sweeping the canvas in long curves.
enum class Path { Wander, Rest, Jump, Sweep };

// How the hand plays a mode: its pointer, its speed in canvas pixels a
// second (a sweep's in radians a second), the seconds between clicks (none
// where both are 0), and the
// seconds between clears of a mode whose picture piles up (0: never).
struct Play {
    std::string_view mode;
    Path path;
    double speed;
    double clickFrom, clickTo;
    double clearEvery;
};

constexpr Play kPlays[] = {
    {"follower", Path::Wander, 260, 0, 0, 0},    // a target to chase
    {"bouncy", Path::Wander, 140, 2, 5, 0},      // kicks now and then
    {"drawing", Path::Sweep, 0.35, 0, 0, 20},    // long strokes, a fresh page now and then
    {"fireworks", Path::Jump, 0, 0.8, 2, 0},     // bursts at varied places
    {"emitter", Path::Wander, 160, 4, 8, 0},     // the nozzle carried about
    {"gravity", Path::Sweep, 0.5, 5, 10, 0},     // the mesh pulled through the canvas
    {"snow", Path::Wander, 150, 6, 12, 0},       // the bar carried about
    {"stars", Path::Wander, 110, 5, 10, 0},
    {"bumps", Path::Wander, 180, 3, 6, 0},
    {"shader", Path::Rest, 220, 0, 0, 25},       // the brush resting and moving
    {"clouds", Path::Rest, 400, 3, 5, 0},        // a new cloud every few seconds
    {"capture", Path::Wander, 160, 4, 8, 0},
    {"whirl", Path::Wander, 100, 6, 10, 0},      // new shapes now and then
    {"psyche", Path::Wander, 120, 4, 8, 0},      // new centres
};

const Play& playOf(int mode)
{
    const std::string_view word = kModeTable[static_cast<size_t>(mode)].word;
    for (const Play& p : kPlays)
        if (p.mode == word) return p;
    return kPlays[0];
}

// The canvas the pointer stays on, a little in from its edges.
constexpr double kLeft = 12, kTop = 12, kRight = 588, kBottom = 500;

} // namespace

Autopilot::Autopilot(Settings settings) : m_settings(settings)
{
    m_rnd.setState(settings.seed ^ 0x5EED7A3Bu);
    m_settings.secondsPerMode = std::clamp<uint32_t>(settings.secondsPerMode, 1, 24 * 3600);
    for (int m = 0; m < kModeCount; ++m)
        if (settings.modes ? (settings.modes >> m & 1) : settings.capture || kModeTable[static_cast<size_t>(m)].word != "capture")
            m_order.push_back(m);
    if (m_order.empty()) // none of the table's: every one, as with no choice
        for (int m = 0; m < kModeCount; ++m)
            if (kModeTable[static_cast<size_t>(m)].word != "capture") m_order.push_back(m);
    for (size_t i = m_order.size(); i > 1; --i) // an order of the seed's own
        std::swap(m_order[i - 1], m_order[static_cast<size_t>(m_rnd.next() * static_cast<double>(i))]);
}

void Autopilot::pickTarget()
{
    m_targetX = uniform(kLeft, kRight);
    m_targetY = uniform(kTop, kBottom);
}

void Autopilot::startMode(uint32_t nowMs)
{
    m_mode = m_order[m_next];
    m_next = (m_next + 1) % m_order.size();
    m_modeFromMs = nowMs;
    const Play& play = playOf(m_mode);
    // A mode that shows nothing before a click gets one at once; one that
    // takes clicks gets its first soon, as a newcomer tries it out.
    m_clickAtMs = !kModeTable[static_cast<size_t>(m_mode)].untilClicked.empty() ? nowMs + 300
                  : play.clickTo > 0 ? nowMs + static_cast<uint32_t>(uniform(0.5, std::max(0.6, play.clickFrom)) * 1000)
                                     : UINT32_MAX;
    m_clearAtMs = play.clearEvery > 0 ? nowMs + static_cast<uint32_t>(play.clearEvery * 1000) : UINT32_MAX;
    m_restUntilMs = nowMs;
    m_phase = uniform(0, 6.283);
    pickTarget();
}

uint32_t Autopilot::nextClick(uint32_t nowMs)
{
    const Play& play = playOf(m_mode);
    return play.clickTo > 0 ? nowMs + static_cast<uint32_t>(uniform(play.clickFrom, play.clickTo) * 1000) : UINT32_MAX;
}

Autopilot::Move Autopilot::next(uint32_t nowMs)
{
    Move move;
    if (!m_started || nowMs - m_modeFromMs >= m_settings.secondsPerMode * 1000u) {
        const int before = m_mode;
        m_started = true;
        startMode(nowMs);
        if (m_mode != before) move.press = kModeTable[static_cast<size_t>(m_mode)].buttonId; // the same again would switch it off
        m_lastMs = nowMs;
    } else if (nowMs >= m_clearAtMs) {
        move.press = kClearScreenId;
        m_clearAtMs = nowMs + static_cast<uint32_t>(playOf(m_mode).clearEvery * 1000);
    }
    const Play& play = playOf(m_mode);
    const double dt = std::min(0.1, (nowMs - m_lastMs) / 1000.0);
    m_lastMs = nowMs;
    const bool click = nowMs >= m_clickAtMs;
    switch (play.path) {
    case Path::Sweep: { // two slow sines of different periods cross the whole canvas
        const double t = (nowMs - m_modeFromMs) / 1000.0 * play.speed + m_phase;
        m_x = (kLeft + kRight) / 2 + (kRight - kLeft) / 2 * std::sin(t);
        m_y = (kTop + kBottom) / 2 + (kBottom - kTop) / 2 * std::sin(t * 1.37 + 1);
        break;
    }
    case Path::Jump:
        if (click) {
            m_x = uniform(kLeft, kRight);
            m_y = uniform(kTop, (kTop + kBottom) / 2 + 80); // fireworks burst high
        }
        break;
    case Path::Rest:
    case Path::Wander: {
        if (nowMs < m_restUntilMs) break;
        const double dx = m_targetX - m_x, dy = m_targetY - m_y, far = std::hypot(dx, dy);
        const double step = play.speed * dt;
        if (far <= step) {
            m_x = m_targetX, m_y = m_targetY;
            if (play.path == Path::Rest) m_restUntilMs = nowMs + static_cast<uint32_t>(uniform(1, 4) * 1000);
            pickTarget();
        } else {
            m_x += dx / far * step, m_y += dy / far * step;
        }
        break;
    }
    }
    if (click) m_clickAtMs = nextClick(nowMs);
    move.x = static_cast<int>(std::lround(m_x));
    move.y = static_cast<int>(std::lround(m_y));
    move.click = click;
    return move;
}

void giveMove(Program& program, const Autopilot::Move& move)
{
    if (move.press) program.onDialogEvent({DialogMessage::Command, move.press, kClicked, false});
    if (move.click) program.onDialogEvent({DialogMessage::Command, kCanvasId, kClicked, false});
}

} // namespace tambrel
