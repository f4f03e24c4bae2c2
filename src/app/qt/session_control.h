// SPDX-License-Identifier: MIT
#pragma once
// Sessions in the window: saving and opening them through the desktop's
// file dialogs, a replay at its recorded pace that the user takes over with
// any press or click, and --record's file kept up to date. Nothing is
// written unless the user asks.

#include "app/replay.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QWidget;

namespace tambrel {

class Program;

class SessionControl : public QObject {
    Q_OBJECT
public:
    SessionControl(QWidget* window, Program& program);
    ~SessionControl() override;

    // --record FILE: the session is written there as it goes, at least once
    // a second, and once more at the end. False with the reason when the
    // file cannot be written.
    bool recordTo(const QString& file, QString& error);
    // Writes --record's file now, if anything new was recorded.
    void writeRecord();
    // Plays `session` from its start at its recorded pace.
    void replay(Session session);
    bool replaying() const { return m_replay && m_replay->active(); }
    // The user's own press or click: a replay stops where it is, and the
    // program is the user's from that state on.
    void takeOver();

    // The menu's entries, with their dialogs and messages.
    void saveSession();
    void openSession();

signals:
    void replayEnded();

private:
    void tick();
    void endReplay(const QString& problem);

    QWidget* m_window;
    Program& m_program;
    std::unique_ptr<SessionReplay> m_replay;
    QTimer m_pace;
    QElapsedTimer m_clock;       // since the replay began
    uint32_t m_startMs = 0;      // the session's time at that moment
    QString m_recordFile;
    uint64_t m_recordedBytes = 0; // at the last write
    QTimer m_recordTimer;
};

} // namespace tambrel
