// SPDX-License-Identifier: MIT
#pragma once
// What the user keeps of the window: a picture of the canvas, a clip of the
// last seconds, and sessions, saved and opened through the desktop's file
// dialogs; a replay at its recorded pace that the user takes over with any
// press or click; --record's file kept up to date. Nothing is written unless
// the user asks.

#include "app/record_file.h"
#include "app/replay_control.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

class QProgressDialog;
class QWidget;

namespace tambrel {

class Program;

class KeepControl : public QObject {
    Q_OBJECT
public:
    KeepControl(QWidget* window, Program& program);
    ~KeepControl() override;

    // --record FILE: the session is written there as it goes, at least once
    // a second, and once more at the end. False with the reason when the
    // file cannot be written.
    bool recordTo(const QString& file, QString& error);
    // Writes --record's file now: if anything new was recorded, or always
    // (at the end, so that the file's end is the run's). False when the
    // write failed (the user is told the first time).
    bool writeRecord(bool always = false);
    const RecordFile& recordFile() const { return m_record; }
    // Plays `session` at its recorded pace, from its start or `atMs`;
    // `name` is what the replay bar calls it.
    void replay(Session session, const QString& name, uint32_t atMs = 0);
    bool replaying() const { return m_replay != nullptr; }
    // The replay under way, for its bar; null when none is.
    const ReplayControl* replayControl() const { return m_replay.get(); }
    void toggleReplayPause();
    void setReplaySpeed(double speed);
    // One speed slower (-1) or faster (+1).
    void stepReplaySpeed(int by);
    void seekReplay(uint32_t ms);
    void seekReplayBy(int64_t ms);
    // The user's own press or click: a replay stops where it is, and the
    // program is the user's from that state on.
    void takeOver();

    // The menu's entries, with their dialogs and messages.
    void savePicture();
    void saveClip();
    bool saveSession(); // false when it was not saved
    void openSession();
    // A clip being made on its worker thread (the window goes on meanwhile).
    bool exporting() const { return m_export.joinable(); }

signals:
    void replayStarted();
    void replayEnded();
    // A clip has been written, or has failed ("" when it was written).
    void clipDone(const QString& problem);
    // A file was saved: "Picture", "Clip" or "Session", and where.
    void saved(const QString& what, const QString& path);
    // The user steered the replay (play, pause, a seek, a speed).
    void replaySteered();

private:
    void tick();
    void pace();
    void endReplay(const QString& problem);
    QString lastFolder(const QString& last, int where) const;
    void kept(const QString& what, const QString& path, QString& lastFolder);

    QWidget* m_window;
    Program& m_program;
    std::unique_ptr<ReplayControl> m_replay;
    QTimer m_pace;
    QElapsedTimer m_clock;       // since the replay began
    RecordFile m_record;
    QTimer m_recordTimer;

    // The clip under way: its thread, its progress (0..1000), its end.
    void finishExport();
    std::thread m_export;
    std::atomic<int> m_exportProgress{0};
    std::atomic<bool> m_exportCancel{false}, m_exportDone{false};
    std::string m_exportError;
    QString m_exportNote; // said once the clip is saved
    QString m_exportPath;
    // Remembered for the run: where each kind of file went last, and the clip's choices.
    QString m_pictureFolder, m_clipFolder, m_sessionFolder;
    int m_clipChoice = 0, m_clipSeconds = 10;
    QPointer<QProgressDialog> m_progress;
    QTimer m_exportWatch;
};

} // namespace tambrel
