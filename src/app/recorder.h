// SPDX-License-Identifier: MIT
#pragma once
// The recorder sits between the program and its front end's platform, where
// the run's inputs enter the state: every pointer reading and every screen
// picture goes through it on its way to the modes, and is written into the
// session log, in the group (pass or command) that read it. Passes and
// commands open their groups under the state lock, so the log's order is
// the order in which the state changed. While a session is replayed the
// inputs come from the session instead, and are written again as they are
// used: a session saved after a take-over holds the whole story.

#include "anim/frame_loop.h"
#include "app/session.h"
#include "app/session_log.h"
#include "gfx/platform.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

namespace tambrel {

// What the user is told, in every edition, before a session that holds a
// picture of their screen leaves the program.
inline constexpr char kScreenPictureNotice[] =
    "This session holds a picture of your screen: the top-left 600 x 512 pixels of it, taken when the capture "
    "was switched on. Whoever gets the file can see that picture.";

// Where the inputs come from while a session is replayed.
class ReplayInput {
public:
    virtual ~ReplayInput() = default;
    // The next pointer reading of the group under way; false when the session
    // has none there (the run no longer matches it).
    virtual bool nextPointer(int& x, int& y) = 0;
    // The capture's picture; false when the session has none there.
    virtual bool nextPicture(bool& obtained, Image& picture) = 0;
};

class SessionRecorder final : public Platform, public PassObserver {
public:
    explicit SessionRecorder(Platform& live) : m_live(live) {}

    // A new recording from a program started with `seed`.
    void begin(uint32_t seed);
    // A recording whose first records are `session`'s up to `mark` (a
    // replay that starts at a checkpoint goes on from there).
    void resumeFrom(const Session& session, const RecordMark& mark);
    // Under the state lock: a pass or a command that changes the state
    // begins its group; readings until groupEnds belong to it.
    void passBegins() override;
    void commandBegins(int controlId, int notifyCode);
    void groupEnds() { m_inGroup = false; }
    void passEnds() override { groupEnds(); }

    // While `input` is set, pointer readings and pictures come from it and
    // the window's own waits and screen grabs are skipped. Times are then
    // the session's (setReplayTime); once `input` is cleared again the run
    // goes on live, its clock continuing from the last replayed time.
    void setReplayInput(ReplayInput* input);
    void setReplayTime(uint32_t timeMs) { m_replayTime = timeMs; }
    // The clock of a live run: the steady clock since begin(), unless a run
    // without a window keeps its own (the renderer's passes come 10 ms apart).
    void setClock(std::function<uint32_t()> nowMs) { m_clock = std::move(nowMs); }
    bool replaying() const { return m_replay != nullptr; }

    // Off only to measure what recording costs, and where a replay runs
    // only for its pictures (a clip).
    void setEnabled(bool on) { m_enabled = on; }
    // Told under the state lock as each pass begins, before its record:
    // where the record will stand and its time (the checkpoints' cue).
    void setPassWatcher(std::function<void(const RecordMark&, uint32_t timeMs)> watcher) { m_passWatcher = std::move(watcher); }

    SessionHeader header() const;
    // The session so far, ending now, as the file's bytes or as its records
    // (the end mark last). Under the state lock, or where no pass or command
    // can run meanwhile.
#ifdef TAMBREL_HAVE_ZLIB
    std::vector<uint8_t> file() const { return m_log.file(header(), m_writer.endRecord(nowMs())); }
#endif
    std::vector<uint8_t> records() const { return m_log.records(m_writer.endRecord(nowMs())); }
    const SessionLog& log() const { return m_log; }
    bool holdsScreenPictures() const { return m_holdsPictures.load(); }
    uint32_t nowMs() const;

    // Platform, on the way to the live one.
    void pointerClientPosition(int& x, int& y) override;
    void redraw() override { m_live.redraw(); }
    void sleepMs(int ms) override { m_live.sleepMs(ms); }
    void doEvents(int ms) override;
    bool clearClipboard() override;
    void pressPrintScreen() override;
    bool getClipboardImage(Image& out) override;

private:
    void flush();

    Platform& m_live;
    SessionLog m_log;
    std::vector<uint8_t> m_scratch;
    RecordWriter m_writer{m_scratch};
    // Guarded by the state lock: only passes and commands use them.
    bool m_inGroup = false; // a pass or command is under way: its inputs are the session's

    ReplayInput* m_replay = nullptr;
    uint32_t m_replayTime = 0;
    std::chrono::steady_clock::time_point m_origin = std::chrono::steady_clock::now();
    uint32_t m_seed = 0;
    std::atomic<bool> m_holdsPictures{false};
    bool m_enabled = true;
    std::function<void(const RecordMark&, uint32_t)> m_passWatcher;
    std::function<uint32_t()> m_clock;
};

} // namespace tambrel
