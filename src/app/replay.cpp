// SPDX-License-Identifier: MIT
#include "app/replay.h"

#include "app/program.h"

namespace tambrel {

SessionReplay::SessionReplay(Program& program, Session session)
    : m_program(program), m_session(std::move(session)), m_cursor(m_session.records)
{
    advance();
}

SessionReplay::SessionReplay(Program& program, Session session, const ProgramState& start, const RecordMark& from)
    : m_program(program), m_session(std::move(session)), m_start(&start), m_startMark(from), m_cursor(m_session.records, from)
{
    advance();
}

SessionReplay::~SessionReplay() { finish(); }

void SessionReplay::advance()
{
    // The records were checked when the session was read: they cannot fail here.
    std::string error;
    m_nextMark = m_cursor.mark();
    if (!m_cursor.next(m_next, error)) m_next = Record{};
}

void SessionReplay::mismatch(const std::string& what)
{
    if (!m_error.empty()) return;
    m_error = "at record " + std::to_string(m_cursor.index()) + ", pass " + std::to_string(m_passes) + ": " + what +
              " (the session does not match this program)";
}

void SessionReplay::begin()
{
    std::lock_guard lock(m_program.stateLock);
    m_program.frameLoop().hold(true);
    m_program.reset(m_session.header.seed);
    if (m_start) {
        // The run so far is the session's up to the checkpoint: a take-over
        // from here records the whole story.
        m_program.restoreState(*m_start);
        m_program.recorder().resumeFrom(m_session, m_startMark);
        m_program.showState();
    }
    m_program.recorder().setReplayInput(this);
    m_active = true;
}

SessionReplay::Step SessionReplay::step()
{
    if (!m_active || !m_error.empty()) return m_error.empty() ? Step::Ended : Step::Failed;
    if (ended()) {
        // The session's own end: the clock of a take-over goes on from there.
        std::lock_guard lock(m_program.stateLock);
        m_program.recorder().setReplayTime(m_next.timeMs);
        return Step::Ended;
    }
    const Record group = m_next;
    advance();
    {
        std::lock_guard lock(m_program.stateLock);
        m_program.recorder().setReplayTime(group.timeMs);
    }
    if (group.tag == RecordTag::Pass) {
        m_program.frameLoop().pass();
        ++m_passes;
    } else if (group.tag == RecordTag::Command) {
        m_program.onDialogEvent({DialogMessage::Command, group.controlId, group.notifyCode, false});
    } else {
        mismatch("a pointer reading or picture that no pass or command of this program takes");
    }
    if (m_next.tag == RecordTag::Pointer || m_next.tag == RecordTag::Picture || m_next.tag == RecordTag::NoPicture)
        mismatch("the session holds more readings here than the program made");
    return m_error.empty() ? Step::Ran : Step::Failed;
}

SessionReplay::Step SessionReplay::runUntilPass(uint64_t passes)
{
    Step s = Step::Ran;
    while (m_passes < passes && (s = step()) == Step::Ran) {
    }
    return m_passes >= passes && m_error.empty() ? Step::Ran : s;
}

SessionReplay::Step SessionReplay::runUntilTime(uint32_t timeMs)
{
    Step s = Step::Ran;
    while (!ended() && m_next.timeMs <= timeMs && (s = step()) == Step::Ran) {
    }
    return s == Step::Ran && ended() ? Step::Ended : s;
}

SessionReplay::Step SessionReplay::playUntil(uint32_t nowMs, int most)
{
    for (int n = 0; n < most && nextTimeMs() <= nowMs; ++n)
        if (const Step s = step(); s != Step::Ran) return s;
    return Step::Ran;
}

void SessionReplay::finish()
{
    if (!m_active) return;
    std::lock_guard lock(m_program.stateLock);
    m_program.recorder().setReplayInput(nullptr);
    m_program.frameLoop().hold(false);
    m_active = false;
}

bool SessionReplay::nextPointer(int& x, int& y)
{
    if (m_next.tag != RecordTag::Pointer) {
        mismatch("the program reads the pointer where the session has no reading");
        return false;
    }
    x = m_next.x, y = m_next.y;
    advance();
    return true;
}

bool SessionReplay::nextPicture(bool& obtained, Image& picture)
{
    if (m_next.tag == RecordTag::NoPicture) {
        obtained = false;
    } else if (m_next.tag == RecordTag::Picture) {
        obtained = true;
        picture = Image(m_next.width, m_next.height);
        const uint8_t* p = m_next.rgb;
        for (uint32_t& v : picture.pixels) {
            v = p[0] | p[1] << 8 | p[2] << 16;
            p += 3;
        }
    } else {
        mismatch("the program asks for a screen picture where the session has none");
        return false;
    }
    advance();
    return true;
}

} // namespace tambrel
