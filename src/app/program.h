// SPDX-License-Identifier: MIT
#pragma once
// The whole program without its window: the canvas, the random generator,
// the fourteen modes, the state lock and the event dispatch. The Qt front
// end, the headless renderer and the tests each own one.

#include "anim/frame_loop.h"
#include "app/checkpoints.h"
#include "app/dialog_view.h"
#include "app/mode_table.h"
#include "app/recorder.h"
#include "modes/mode.h"

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tambrel {

enum class DialogMessage {
    InitDialog,
    SetCursor,  // pointer-shape request: controlId is the control under the pointer
    NcActivate, // caption drawn active or inactive: see `active`
    Destroy,
    Command,    // from a control: controlId and notifyCode
    Other,
};

struct DialogEvent {
    DialogMessage message = DialogMessage::Other;
    int controlId = kNoControl;
    int notifyCode = 0; // 0 clicked, 1 double-clicked
    bool active = false;
};

constexpr int kClicked = 0;
constexpr int kDoubleClicked = 1;
constexpr int32_t kWhite = 0xFFFFFF;

class Program {
public:
    Program(Platform& platform, DialogView& view);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Builder steps after the window exists: the white canvas, the provisional
    // then final captions, and every mode's initState in button order. The
    // recording of the run begins here, with the generator's state as its seed.
    void buildMainWindow();
    // Back to a fresh start from `seed`, as if the program had just been
    // started with it (a session is about to be replayed): the canvas and
    // its drawing state, the generator, every mode made anew, the frame
    // values, the window's captions and title; a new recording begins.
    void reset(uint32_t seed);
    // Starts the animation thread (false if it could not be created).
    bool startAnimation();
    // After the window has closed: ends the animation thread and waits for it.
    void finish();

    // The window's event callback; 1 for the pointer-shape request, else 0.
    int onDialogEvent(const DialogEvent& event);
    void stopAllModes();

    Mode& mode(int index) { return *m_modes[static_cast<size_t>(index)]; }
    template <typename M>
    M& mode(int index) { return static_cast<M&>(mode(index)); }
    // Index of the mode that is on, -1 if none.
    int modeOn() const;
    // The mode that is on draws nothing before a click, and the canvas is
    // still one colour: the user is told to click (under the state lock).
    bool waitingForClick();
    FrameLoop& frameLoop() { return m_loop; }
    // What the run's inputs pass through: the session being recorded.
    SessionRecorder& recorder() { return m_recorder; }
    // The session so far, ending now: as a file's bytes, or its records.
#ifdef TAMBREL_HAVE_ZLIB
    std::vector<uint8_t> sessionFile();
#endif
    std::vector<uint8_t> sessionRecords();
    // The session so far, ending now, as a reader would have it.
    bool currentSession(Session& out, std::string& error);
    // What a saved picture of the canvas says of itself beside its pixels:
    // the program and its version, the mode that is on, the session's seed.
    std::vector<std::pair<std::string, std::string>> pictureText();
    // The whole state, in and out (under the state lock).
    void saveState(ProgramState& out);
    void restoreState(const ProgramState& state);
    // The window's words (captions, fonts, title) for the state as it is:
    // after a restore, what the window showed when it was saved.
    void showState();
    // A copy of the newest checkpoint at or before `timeMs` of the session
    // under way; false when there is none.
    bool copyCheckpoint(uint32_t timeMs, ProgramState& state, RecordMark& mark, uint32_t& takenMs);
    const Checkpoints& checkpoints() const { return m_checkpoints; }

    Platform& platform;
    DialogView& view;
    Canvas canvas;
    Rnd rnd;
    FrameValues frame;
    PixelBuffer pixelBuffer;
    StateLock stateLock;
    std::atomic<bool> exitRequested{false};

private:
    void onCommand(const DialogEvent& event);
    void dispatch(const DialogEvent& event);
    void onModeButton(int index, int notifyCode);
    void onCanvasCommand(int notifyCode);

    SessionRecorder m_recorder{platform};
    Checkpoints m_checkpoints; // guarded by stateLock
    ModeContext m_ctx;
    std::vector<std::unique_ptr<Mode>> m_modes; // button order
    std::vector<Mode*> m_clickOrder;
    FrameLoop m_loop;
    AnimationThread m_thread;
    int m_savedFocus = kNoControl;
    bool m_switched = false; // see ProgramState::switched; guarded by stateLock
    // Commands are handled one at a time (see onDialogEvent). Guarded by stateLock.
    bool m_handlingCommand = false;
    std::deque<DialogEvent> m_heldBack;
};

} // namespace tambrel
