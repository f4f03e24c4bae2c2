// SPDX-License-Identifier: MIT
#include "app/program.h"

#include "gfx/geometry.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace tambrel {

namespace {

std::vector<Mode*> inOrder(const std::vector<std::unique_ptr<Mode>>& modes, int ModeInfo::*order)
{
    std::vector<std::pair<int, Mode*>> ranked;
    for (size_t i = 0; i < modes.size(); ++i)
        if (kModeTable[i].*order > 0) ranked.emplace_back(kModeTable[i].*order, modes[i].get());
    std::sort(ranked.begin(), ranked.end(), [](auto& a, auto& b) { return a.first < b.first; });
    std::vector<Mode*> out;
    for (auto& [rank, mode] : ranked) out.push_back(mode);
    return out;
}

std::vector<std::unique_ptr<Mode>> makeModes(ModeContext& ctx)
{
    std::vector<std::unique_ptr<Mode>> modes;
    for (const ModeInfo& info : kModeTable) modes.push_back(info.make(ctx));
    return modes;
}

std::string str(std::string_view s) { return std::string(s); }

// More commands than a capture's waits could ever gather are dropped.
constexpr size_t kMaxHeldBackCommands = 256;

} // namespace

Program::Program(Platform& p, DialogView& v)
    : platform(p), view(v), m_ctx{canvas, rnd, m_recorder, frame, pixelBuffer}, m_modes(makeModes(m_ctx)),
      m_clickOrder(inOrder(m_modes, &ModeInfo::clickOrder)),
      m_loop(stateLock, exitRequested, inOrder(m_modes, &ModeInfo::stepOrder), frame, m_recorder, &m_recorder),
      m_thread(m_loop)
{
    // Every ten seconds of the run a pass begins with a checkpoint.
    m_recorder.setPassWatcher([this](const RecordMark& mark, uint32_t timeMs) {
        if (!m_checkpoints.due(timeMs)) return;
        Checkpoint& c = m_checkpoints.take(timeMs);
        saveState(c.state);
        c.mark = mark;
    });
}

void Program::saveState(ProgramState& out)
{
    std::lock_guard lock(stateLock);
    out.canvas = canvas;
    out.rnd = rnd;
    out.frame = frame;
    out.pixelBuffer = pixelBuffer;
    out.switched = m_switched;
    for (size_t i = 0; i < m_modes.size(); ++i) out.modes[i]->copyStateFrom(*m_modes[i]);
}

void Program::restoreState(const ProgramState& state)
{
    std::lock_guard lock(stateLock);
    canvas = state.canvas;
    rnd = state.rnd;
    frame = state.frame;
    pixelBuffer = state.pixelBuffer;
    m_switched = state.switched;
    for (size_t i = 0; i < m_modes.size(); ++i) m_modes[i]->copyStateFrom(*state.modes[i]);
}

void Program::showState()
{
    std::lock_guard lock(stateLock);
    view.setTitle("Tambrel");
    for (size_t i = 0; i < m_modes.size(); ++i) {
        const ModeInfo& info = kModeTable[i];
        const bool on = m_modes[i]->isOn;
        view.setButtonCaption(info.buttonId, str(on ? info.onCaption : info.offCaption));
        view.setButtonFont(info.buttonId, on ? ButtonFont::Bold : m_switched ? ButtonFont::Normal : ButtonFont::Dialog);
        if (on) view.setTitle(str(info.title));
    }
    platform.redraw();
}

#ifdef TAMBREL_HAVE_ZLIB
std::vector<uint8_t> Program::sessionFile()
{
    std::lock_guard lock(stateLock);
    return m_recorder.file();
}
#endif

std::vector<uint8_t> Program::sessionRecords()
{
    std::lock_guard lock(stateLock);
    return m_recorder.records();
}

bool Program::currentSession(Session& out, std::string& error)
{
    std::vector<uint8_t> records;
    {
        std::lock_guard lock(stateLock);
        out.header = m_recorder.header();
        records = m_recorder.records();
    }
    return checkRecords(std::move(records), out, error);
}

std::vector<std::pair<std::string, std::string>> Program::pictureText()
{
    std::lock_guard lock(stateLock);
    const int on = modeOn();
    const SessionHeader header = m_recorder.header();
    return {{"Software", "Tambrel " + header.programVersion},
            {"Mode", on < 0 ? std::string("none") : str(kModeTable[static_cast<size_t>(on)].word)},
            {"Title", on < 0 ? std::string("Tambrel") : str(kModeTable[static_cast<size_t>(on)].title)},
            {"Seed", std::to_string(header.seed)}};
}

bool Program::copyCheckpoint(uint32_t timeMs, ProgramState& state, RecordMark& mark, uint32_t& takenMs)
{
    std::lock_guard lock(stateLock);
    const Checkpoint* c = m_checkpoints.atOrBefore(timeMs);
    if (!c) return false;
    state.copyFrom(c->state);
    mark = c->mark;
    takenMs = c->timeMs;
    return true;
}

Program::~Program() { finish(); }

void Program::buildMainWindow()
{
    std::lock_guard lock(stateLock);
    m_recorder.begin(rnd.state());
    m_checkpoints.clear();
    canvas.setForeColor(-1);
    canvas.setBackColor(kWhite);
    canvas.clearCanvas(-1);
    for (int n = 0; n < 16; ++n) {
        if (n == 14) continue;
        char caption[16];
        std::snprintf(caption, sizeof caption, "Button %02d", n + 1);
        view.setButtonCaption(kFirstModeButtonId + n, caption);
        view.setButtonEnabled(kFirstModeButtonId + n, false);
    }
    for (int i = 0; i < kModeCount; ++i) {
        const ModeInfo& info = kModeTable[static_cast<size_t>(i)];
        m_modes[static_cast<size_t>(i)]->isOn = false;
        m_modes[static_cast<size_t>(i)]->initState();
        view.setButtonCaption(info.buttonId, str(info.offCaption));
        view.setButtonEnabled(info.buttonId, true);
    }
    view.setButtonCaption(kClearScreenId, "Clear Screen");
    view.setButtonEnabled(kClearScreenId, true);
}

void Program::reset(uint32_t seed)
{
    std::lock_guard lock(stateLock);
    canvas = Canvas();
    rnd.setState(seed);
    frame = FrameValues{};
    pixelBuffer = PixelBuffer();
    m_modes = makeModes(m_ctx);
    m_clickOrder = inOrder(m_modes, &ModeInfo::clickOrder);
    m_loop.setStepOrder(inOrder(m_modes, &ModeInfo::stepOrder));
    m_heldBack.clear();
    m_switched = false;
    for (const ModeInfo& info : kModeTable) view.setButtonFont(info.buttonId, ButtonFont::Dialog);
    view.setTitle("Tambrel");
    buildMainWindow();
    platform.redraw();
}

bool Program::startAnimation() { return m_thread.start(); }

void Program::finish()
{
    exitRequested.store(true);
    m_loop.wake();
    m_thread.join();
}

bool Program::waitingForClick()
{
    std::lock_guard lock(stateLock);
    const int on = modeOn();
    if (on < 0 || kModeTable[static_cast<size_t>(on)].untilClicked.empty()) return false;
    // Nothing drawn yet: the canvas is one colour (white, or the clouds' black).
    const uint32_t* p = canvas.pixels();
    return std::all_of(p, p + size_t{Canvas::kWidth} * Canvas::kHeight, [first = p[0]](uint32_t v) { return v == first; });
}

int Program::modeOn() const
{
    for (int i = 0; i < kModeCount; ++i)
        if (m_modes[static_cast<size_t>(i)]->isOn) return i;
    return -1;
}

void Program::stopAllModes()
{
    std::lock_guard lock(stateLock);
    m_switched = true;
    for (auto& m : m_modes) m->isOn = false;
    for (const ModeInfo& info : kModeTable) view.setButtonCaption(info.buttonId, str(info.offCaption));
    for (const ModeInfo& info : kModeTable) view.setButtonFont(info.buttonId, ButtonFont::Normal);
    view.setTitle("Tambrel");
    canvas.clearCanvas(kWhite);
    platform.redraw();
}

int Program::onDialogEvent(const DialogEvent& event)
{
    switch (event.message) {
    case DialogMessage::InitDialog:
        return 0;
    case DialogMessage::SetCursor:
        view.setPointerShape(event.controlId,
                             event.controlId == kCanvasId ? PointerShape::Hidden : PointerShape::Arrow);
        return 1;
    case DialogMessage::NcActivate:
        if (!event.active) {
            m_savedFocus = view.focusedControl();
        } else if (m_savedFocus != kNoControl) {
            view.setFocusedControl(m_savedFocus);
            m_savedFocus = kNoControl;
        }
        return 0;
    case DialogMessage::Destroy:
        view.releaseFonts();
        exitRequested.store(true);
        m_loop.wake();
        return 0;
    case DialogMessage::Command:
        break;
    case DialogMessage::Other:
        return 0;
    }

    // One command at a time. The capture's start lets the window handle
    // events while it waits for the screen, and a command among them (a
    // posted button click, a screen reader's press) would otherwise switch a
    // second mode on halfway through this one's start. Such a command waits
    // until the one under way has finished, then runs in its turn; after
    // the window's destruction the waiting ones are dropped.
    std::lock_guard lock(stateLock);
    if (m_handlingCommand) {
        if (m_heldBack.size() < kMaxHeldBackCommands) m_heldBack.push_back(event);
        return 0;
    }
    m_handlingCommand = true;
    onCommand(event);
    while (!m_heldBack.empty() && !exitRequested.load()) {
        const DialogEvent next = m_heldBack.front();
        m_heldBack.pop_front();
        onCommand(next);
    }
    m_heldBack.clear();
    m_handlingCommand = false;
    return 0;
}

// Under stateLock, for the whole of the command. A command that can change
// the state is recorded, with the inputs it reads, in its place.
void Program::onCommand(const DialogEvent& event)
{
    const int id = event.controlId;
    const bool isModeButton = id >= kFirstModeButtonId && id < kFirstModeButtonId + kModeCount;
    const bool changesState = (event.notifyCode == kClicked || event.notifyCode == kDoubleClicked) &&
                              (id == kCanvasId || isModeButton || id == kClearScreenId);
    if (changesState) m_recorder.commandBegins(id, event.notifyCode);
    dispatch(event);
    if (changesState) m_recorder.groupEnds();
}

void Program::dispatch(const DialogEvent& event)
{
    const int id = event.controlId;
    if (id == kCanvasId) {
        onCanvasCommand(event.notifyCode);
    } else if (id >= kFirstModeButtonId && id < kFirstModeButtonId + kModeCount) {
        onModeButton(id - kFirstModeButtonId, event.notifyCode);
    } else if (id == kClearScreenId && (event.notifyCode == kClicked || event.notifyCode == kDoubleClicked)) {
        canvas.clearCanvas(kWhite);
        platform.redraw();
    }
}

void Program::onCanvasCommand(int notifyCode)
{
    int x = 0, y = 0;
    getCanvasMouse(m_recorder, x, y);
    if (notifyCode != kClicked && notifyCode != kDoubleClicked) return;
    // At most one mode is on, so at most one reaction runs; the order is fixed.
    for (Mode* mode : m_clickOrder)
        if (mode->isOn) mode->onCanvasClick(x, y);
}

void Program::onModeButton(int index, int notifyCode)
{
    if (notifyCode != kClicked && notifyCode != kDoubleClicked) return;
    Mode& mode = *m_modes[static_cast<size_t>(index)];
    const ModeInfo& info = kModeTable[static_cast<size_t>(index)];
    if (mode.isOn) {
        stopAllModes();
        return;
    }
    stopAllModes();
    view.setTitle(str(info.title));
    if (info.captionBeforeStart) {
        view.setButtonFont(info.buttonId, ButtonFont::Bold);
        view.setButtonCaption(info.buttonId, str(info.onCaption));
    }
    mode.start();
    mode.isOn = true;
    m_loop.wake();
    if (!info.captionBeforeStart) {
        view.setButtonFont(info.buttonId, ButtonFont::Bold);
        view.setButtonCaption(info.buttonId, str(info.onCaption));
    }
}

} // namespace tambrel
