// SPDX-License-Identifier: MIT
#pragma once
// Plays a session into a program: the program starts afresh from the
// session's seed, and every pass and command of the session runs again,
// with the pointer readings and screen pictures it had, in its order. The
// same program code runs as in the live run; only its inputs come from the
// session. Each step is one pass or one command, and the caller paces them:
// the renderer runs them all at once, a window at their recorded times.
// Finishing hands the program back ("take over"): the inputs are live
// again, and the recording, which took in every replayed record anew, goes
// on from there.

#include "app/checkpoints.h"
#include "app/recorder.h"
#include "app/session.h"

#include <string>

namespace tambrel {

class Program;

class SessionReplay : private ReplayInput {
public:
    SessionReplay(Program& program, Session session);
    // From a checkpoint: the program takes `start` (the state at `from`)
    // instead of starting afresh, and the replay goes on from `from`.
    SessionReplay(Program& program, Session session, const ProgramState& start, const RecordMark& from);
    ~SessionReplay() override;
    SessionReplay(const SessionReplay&) = delete;
    SessionReplay& operator=(const SessionReplay&) = delete;

    // The program afresh from the session's seed (or from the checkpoint);
    // its animation thread runs no passes of its own until finish().
    void begin();
    enum class Step { Ran, Ended, Failed };
    // The next pass or command, on the thread that handles the window's
    // commands. Failed when the program no longer reads what the session
    // holds (see error()); the state up to there stands.
    Step step();
    // Steps until `passes` passes have run, the end, or a failure.
    Step runUntilPass(uint64_t passes);
    // Every pass and command recorded at or before `timeMs`: the state the
    // session had at that time. Ended when the session ends by then.
    Step runUntilTime(uint32_t timeMs);
    // The steps whose recorded time has come by `nowMs`, at a window's pace:
    // at most `most` of them, so that a window that stalled catches up
    // without freezing.
    Step playUntil(uint32_t nowMs, int most);
    // The recorded time of the next pass or command; of the last one at the end.
    uint32_t nextTimeMs() const { return m_next.tag == RecordTag::End ? m_session.durationMs : m_next.timeMs; }
    bool ended() const { return m_next.tag == RecordTag::End; }
    bool nextIsPass() const { return m_next.tag == RecordTag::Pass; }
    // The session's place before the next record (a checkpoint's mark there).
    const RecordMark& nextMark() const { return m_nextMark; }
    uint64_t passesRun() const { return m_passes; }
    const std::string& error() const { return m_error; }
    const Session& session() const { return m_session; }
    bool active() const { return m_active; }
    // Hands the program back: live inputs, its own passes, recording goes on.
    void finish();
    // Gives the program up to another replay that takes its place, which
    // has begun already: nothing is handed back.
    void abandon() { m_active = false; }

private:
    bool nextPointer(int& x, int& y) override;
    bool nextPicture(bool& obtained, Image& picture) override;
    void advance();
    void mismatch(const std::string& what);

    Program& m_program;
    Session m_session;
    const ProgramState* m_start = nullptr;
    RecordMark m_startMark;
    RecordCursor m_cursor;
    RecordMark m_nextMark;
    Record m_next;
    uint64_t m_passes = 0;
    std::string m_error;
    bool m_active = false;
};

} // namespace tambrel
