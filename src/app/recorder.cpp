// SPDX-License-Identifier: MIT
#include "app/recorder.h"

#include <algorithm>

#ifndef TAMBREL_VERSION
#define TAMBREL_VERSION "unknown"
#endif

namespace tambrel {

void SessionRecorder::begin(uint32_t seed)
{
    m_log.clear();
    m_scratch.clear();
    m_writer.restart();
    m_inGroup = false;
    m_seed = seed;
    m_holdsPictures.store(false);
    m_origin = std::chrono::steady_clock::now();
    m_replayTime = 0;
}

void SessionRecorder::resumeFrom(const Session& session, const RecordMark& mark)
{
    begin(session.header.seed);
    const size_t end = std::min(mark.offset, session.records.size());
    if (!m_enabled || end == 0) return;
    m_log.append(std::span(session.records).first(end));
    m_writer.resumeAt(mark);
    m_replayTime = mark.timeMs;
    // Whether the run so far holds a picture of the screen, as its records say.
    RecordCursor cursor(session.records);
    Record r;
    std::string error;
    while (cursor.offset() < end && cursor.next(r, error))
        if (r.tag == RecordTag::Picture) m_holdsPictures.store(true);
}

SessionHeader SessionRecorder::header() const
{
    SessionHeader h;
    h.programVersion = TAMBREL_VERSION;
    h.seed = m_seed;
    h.surfaceWidth = Canvas::kWidth;
    h.surfaceHeight = Canvas::kHeight;
    h.holdsScreenPictures = m_holdsPictures.load();
    return h;
}

uint32_t SessionRecorder::nowMs() const
{
    if (m_replay) return m_replayTime;
    if (m_clock) return m_clock();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_origin);
    return static_cast<uint32_t>(std::clamp<int64_t>(ms.count(), 0, UINT32_MAX));
}

void SessionRecorder::setReplayInput(ReplayInput* input)
{
    if (m_replay && !input) // taken over: the clock goes on from the replayed time
        m_origin = std::chrono::steady_clock::now() - std::chrono::milliseconds(m_replayTime);
    m_replay = input;
}

void SessionRecorder::flush()
{
    m_log.append(m_scratch);
    m_scratch.clear();
}

void SessionRecorder::passBegins()
{
    m_inGroup = true;
    if (!m_enabled) return;
    const uint32_t now = nowMs();
    if (m_passWatcher) m_passWatcher(m_writer.mark(m_log.appendedBytes()), now);
    m_writer.pass(now);
    flush();
}

void SessionRecorder::commandBegins(int controlId, int notifyCode)
{
    m_inGroup = true;
    if (!m_enabled) return;
    m_writer.command(controlId, notifyCode, nowMs());
    flush();
}

void SessionRecorder::pointerClientPosition(int& x, int& y)
{
    if (!m_replay || !m_inGroup || !m_replay->nextPointer(x, y)) m_live.pointerClientPosition(x, y);
    if (!m_inGroup || !m_enabled) return;
    m_writer.pointer(x, y);
    flush();
}

// While replaying, the capture's waits and its screen grab belong to the
// session's past: nothing is waited for and nothing is grabbed.
void SessionRecorder::doEvents(int ms)
{
    if (!m_replay) m_live.doEvents(ms);
}

bool SessionRecorder::clearClipboard() { return m_replay ? true : m_live.clearClipboard(); }

void SessionRecorder::pressPrintScreen()
{
    if (!m_replay) m_live.pressPrintScreen();
}

bool SessionRecorder::getClipboardImage(Image& out)
{
    bool obtained = false;
    if (m_replay && m_inGroup && m_replay->nextPicture(obtained, out)) {
        // from the session
    } else if (!m_replay) {
        Image screen;
        obtained = m_live.getClipboardImage(screen);
        // Only the top-left 600 x 512 of a screen ever reaches the canvas:
        // that much is kept, and nothing more of the user's screen. A
        // picture without a whole row counts as none.
        const int rows = screen.width > 0 ? static_cast<int>(std::min<size_t>(screen.height, screen.pixels.size() / screen.width)) : 0;
        obtained = obtained && rows > 0;
        if (obtained) {
            out = Image(std::min(screen.width, kMaxPictureWidth), std::min(rows, kMaxPictureHeight));
            for (int y = 0; y < out.height; ++y)
                for (int x = 0; x < out.width; ++x) out.at(x, y) = screen.at(x, y) & 0xFFFFFF;
        }
    }
    if (m_inGroup && m_enabled) {
        if (obtained) {
            std::vector<uint8_t> rgb(out.pixels.size() * 3);
            for (size_t i = 0; i < out.pixels.size(); ++i) {
                const uint32_t v = out.pixels[i]; // 0x00BBGGRR
                rgb[3 * i] = static_cast<uint8_t>(v), rgb[3 * i + 1] = static_cast<uint8_t>(v >> 8),
                rgb[3 * i + 2] = static_cast<uint8_t>(v >> 16);
            }
            m_writer.picture(out.width, out.height, rgb.data());
            m_holdsPictures.store(true);
        } else {
            m_writer.noPicture();
        }
        flush();
    }
    return obtained;
}

} // namespace tambrel
