// SPDX-License-Identifier: MIT
#include "app/qt/session_control.h"

#include "app/program.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QWidget>

#include <cstdio>

namespace tambrel {

namespace {
constexpr int kPaceMs = 2;          // how often a replay looks whether its next record is due
constexpr int kMostStepsPerLook = 200; // after a stall, catch up without freezing the window
constexpr int kRecordEveryMs = 1000;
const QString kFilter = QStringLiteral("Tambrel sessions (*.tambrel)");

bool writeFile(const QString& path, const std::vector<uint8_t>& bytes, QString& error)
{
    QSaveFile out(path); // a whole file or none: written aside, then renamed over
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !out.commit()) {
        error = out.errorString();
        return false;
    }
    return true;
}

QString documents()
{
    const QString d = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return d.isEmpty() ? QDir::homePath() : d;
}
} // namespace

SessionControl::SessionControl(QWidget* window, Program& program) : m_window(window), m_program(program)
{
    m_pace.setTimerType(Qt::PreciseTimer);
    connect(&m_pace, &QTimer::timeout, this, &SessionControl::tick);
    connect(&m_recordTimer, &QTimer::timeout, this, &SessionControl::writeRecord);
}

SessionControl::~SessionControl() = default;

bool SessionControl::recordTo(const QString& file, QString& error)
{
    if (!writeFile(file, m_program.recorder().file(), error)) return false;
    m_recordFile = file;
    m_recordedBytes = m_program.recorder().log().appendedBytes();
    m_recordTimer.start(kRecordEveryMs);
    return true;
}

void SessionControl::writeRecord()
{
    if (m_recordFile.isEmpty()) return;
    const uint64_t appended = m_program.recorder().log().appendedBytes();
    if (appended == m_recordedBytes) return;
    QString error;
    if (!writeFile(m_recordFile, m_program.recorder().file(), error)) {
        std::fprintf(stderr, "tambrel: cannot write the session to %s: %s\n", qPrintable(m_recordFile), qPrintable(error));
        return; // tried again with the next second's records
    }
    m_recordedBytes = appended;
}

void SessionControl::replay(Session session)
{
    if (m_replay) endReplay({});
    m_replay = std::make_unique<SessionReplay>(m_program, std::move(session));
    m_replay->begin();
    m_clock.start();
    m_pace.start(kPaceMs);
}

// The records whose time has come, at the session's pace.
void SessionControl::tick()
{
    if (!m_replay) return;
    const qint64 now = m_clock.elapsed();
    for (int n = 0; n < kMostStepsPerLook && !m_replay->ended() && m_replay->nextTimeMs() <= now; ++n) {
        if (m_replay->step() == SessionReplay::Step::Failed) {
            endReplay(QString::fromStdString(m_replay->error()));
            return;
        }
    }
    if (m_replay->ended()) endReplay({});
}

void SessionControl::endReplay(const QString& problem)
{
    m_pace.stop();
    if (!m_replay) return;
    m_replay->finish(); // the program is the user's from this state on
    m_replay.reset();
    emit replayEnded();
    if (!problem.isEmpty())
        QMessageBox::warning(m_window, QStringLiteral("Replay"),
                             QStringLiteral("The replay stopped: %1.\nThe window is yours from where it stopped.").arg(problem));
}

void SessionControl::takeOver()
{
    if (m_replay) endReplay({});
}

void SessionControl::saveSession()
{
    // What is saved is the session as it is when the user asks.
    const std::vector<uint8_t> bytes = m_program.recorder().file();
    if (m_program.recorder().holdsScreenPictures()) {
        QMessageBox ask(QMessageBox::Warning, QStringLiteral("Save Session"),
                        QStringLiteral("This session holds a picture of your screen: the top-left 600 x 512 pixels "
                                       "of it, taken when the capture was switched on. Whoever gets the file can see "
                                       "that picture."),
                        QMessageBox::Cancel, m_window);
        QPushButton* save = ask.addButton(QStringLiteral("Save with the Picture"), QMessageBox::AcceptRole);
        ask.setDefaultButton(QMessageBox::Cancel);
        ask.exec();
        if (ask.clickedButton() != save) return;
    }
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("'Tambrel' yyyy-MM-dd HH.mm.ss'.tambrel'"));
    const QString path =
        QFileDialog::getSaveFileName(m_window, QStringLiteral("Save Session"), documents() + QLatin1Char('/') + name, kFilter);
    if (path.isEmpty()) return;
    QString error;
    if (!writeFile(path, bytes, error))
        QMessageBox::warning(m_window, QStringLiteral("Save Session"),
                             QStringLiteral("Tambrel could not save the session to %1: %2.\nThe running session is as it was.")
                                 .arg(QDir::toNativeSeparators(path), error));
}

void SessionControl::openSession()
{
    const QString path = QFileDialog::getOpenFileName(m_window, QStringLiteral("Open Session"), documents(),
                                                      kFilter + QStringLiteral(";;All files (*)"));
    if (path.isEmpty()) return;
    Session session;
    std::string error;
    if (!readSessionFile(QFile::encodeName(path).toStdString(), session, error)) {
        QMessageBox::warning(m_window, QStringLiteral("Open Session"),
                             QStringLiteral("Tambrel cannot replay %1: %2.\nThe running session is as it was.")
                                 .arg(QFileInfo(path).fileName(), QString::fromStdString(error)));
        return;
    }
    replay(std::move(session));
}

} // namespace tambrel
