// SPDX-License-Identifier: MIT
#include "app/qt/keep_control.h"

#include "app/clip.h"
#include "app/files.h"
#include "app/program.h"
#include "app/qt/image_convert.h"
#include "video/clip_encoder.h"

#include <QBuffer>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QImageWriter>
#include <QLocale>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include <sys/resource.h>

namespace tambrel {

namespace {
constexpr int kPaceMs = 2;          // how often a replay looks whether its next record is due
constexpr int kRecordEveryMs = 1000;
constexpr int kExportNiceness = 10; // the clip's threads
const QString kFilter = QStringLiteral("Tambrel sessions (*.tambrel)");

bool writeFile(const QString& path, std::span<const uint8_t> bytes, QString& error)
{
    std::string why;
    if (writeWholeFile(QFile::encodeName(path).toStdString(), bytes, why)) return true;
    error = QString::fromStdString(why);
    return false;
}

QString folder(QStandardPaths::StandardLocation where)
{
    const QString d = QStandardPaths::writableLocation(where);
    return d.isEmpty() ? QDir::homePath() : d;
}

// A default name that says when: "Tambrel 2026-12-07 21.40.05.png".
QString timeStamped(const QString& extension)
{
    return QDateTime::currentDateTime().toString(QStringLiteral("'Tambrel' yyyy-MM-dd HH.mm.ss")) + extension;
}

struct ClipChoice {
    const char* label;
    const char* extension;
    const char* filter;
    ClipFormat format;
};
constexpr ClipChoice kClipChoices[] = {
    {"Animated WebP: every frame's exact pixels", ".webp", "Animated WebP (*.webp)", ClipFormat::WebP},
    {"GIF: plays everywhere, up to 50 frames a second", ".gif", "GIF (*.gif)", ClipFormat::Gif},
    {"MP4 (H.264): for social media, at twice the size", ".mp4", "MP4 video (*.mp4)", ClipFormat::Mp4},
};
} // namespace

KeepControl::KeepControl(QWidget* window, Program& program) : m_window(window), m_program(program), m_record(program)
{
    m_pace.setTimerType(Qt::PreciseTimer);
    connect(&m_pace, &QTimer::timeout, this, &KeepControl::tick);
    connect(&m_recordTimer, &QTimer::timeout, this, [this] { writeRecord(); });
}

KeepControl::~KeepControl()
{
    m_exportCancel.store(true);
    if (m_export.joinable()) m_export.join();
}

bool KeepControl::recordTo(const QString& file, QString& error)
{
    std::string why;
    if (!m_record.start(QFile::encodeName(file).toStdString(), why)) {
        error = QString::fromStdString(why);
        return false;
    }
    m_recordTimer.start(kRecordEveryMs);
    return true;
}

bool KeepControl::writeRecord(bool always)
{
    std::string error;
    const RecordFile::Write write = m_record.update(always, error);
    if (write != RecordFile::Write::Failed && write != RecordFile::Write::FailedAgain) return true;
    const QString path = QFile::decodeName(QByteArray::fromStdString(m_record.path()));
    std::fprintf(stderr, "tambrel: cannot write the session to %s: %s\n", qPrintable(path), error.c_str());
    if (write == RecordFile::Write::Failed && m_window->isVisible()) {
        // Once, at the time, and without stopping the window: the run goes on
        // and the file is tried again every second.
        auto* box = new QMessageBox(
            QMessageBox::Warning, QStringLiteral("Recording"),
            QStringLiteral("Tambrel cannot write the session to %1: %2.\nThe file holds the session up to the last second "
                           "it could be written. The whole session is kept in memory: save it elsewhere with Save Session "
                           "(Ctrl+Shift+S). Tambrel goes on trying the file every second.")
                .arg(QDir::toNativeSeparators(path), QString::fromStdString(error)),
            QMessageBox::Ok, m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->show();
    }
    return false;
}

void KeepControl::replay(Session session, const QString& name, uint32_t atMs)
{
    if (m_replay) endReplay({});
    m_clock.start();
    m_replay = std::make_unique<ReplayControl>(m_program, std::move(session), name.toStdString(), true);
    m_replay->start(atMs, 0);
    m_pace.start(kPaceMs);
    emit replayStarted();
}

// The records whose time has come, at the chosen speed.
void KeepControl::tick()
{
    if (!m_replay) return;
    const SessionReplay::Step step = m_replay->tick(static_cast<double>(m_clock.elapsed()));
    if (step == SessionReplay::Step::Failed) return endReplay(QString::fromStdString(m_replay->error()));
    if (step == SessionReplay::Step::Ended) return endReplay({}); // at the session's own end
    pace();
}

// Paused, with no seek on its way, the replay waits for the user: no timer.
void KeepControl::pace()
{
    const bool idle = m_replay && m_replay->paused() && !m_replay->seeking();
    if (idle) m_pace.stop();
    else if (m_replay && !m_pace.isActive()) m_pace.start(kPaceMs);
}

void KeepControl::toggleReplayPause()
{
    if (m_replay) m_replay->setPaused(!m_replay->paused(), static_cast<double>(m_clock.elapsed()));
    pace();
    emit replaySteered();
}

void KeepControl::setReplaySpeed(double speed)
{
    if (m_replay) m_replay->setSpeed(speed, static_cast<double>(m_clock.elapsed()));
    emit replaySteered();
}

void KeepControl::stepReplaySpeed(int by)
{
    if (m_replay) m_replay->stepSpeed(by, static_cast<double>(m_clock.elapsed()));
    emit replaySteered();
}

void KeepControl::seekReplay(uint32_t ms)
{
    if (m_replay) m_replay->seek(ms, static_cast<double>(m_clock.elapsed()));
    pace();
    emit replaySteered();
}

void KeepControl::seekReplayBy(int64_t ms)
{
    if (m_replay) m_replay->seekBy(ms, static_cast<double>(m_clock.elapsed()));
    pace();
    emit replaySteered();
}

void KeepControl::endReplay(const QString& problem)
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

void KeepControl::takeOver()
{
    if (m_replay) endReplay({});
}

void KeepControl::savePicture()
{
    // The canvas as it is when the user asks, its exact pixels.
    QImage picture;
    {
        std::lock_guard lock(m_program.stateLock);
        picture = canvasToQImage(m_program.canvas).convertToFormat(QImage::Format_RGB888);
    }
    for (const auto& [key, value] : m_program.pictureText())
        picture.setText(QString::fromStdString(key), QString::fromStdString(value));
    const QString path =
        QFileDialog::getSaveFileName(m_window, QStringLiteral("Save Picture"),
                                     lastFolder(m_pictureFolder, QStandardPaths::PicturesLocation) + QLatin1Char('/') +
                                         timeStamped(QStringLiteral(".png")),
                                     QStringLiteral("PNG pictures (*.png)"));
    if (path.isEmpty()) return;
    // Made in memory, then written whole: a full disk leaves no broken picture.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    QString error;
    if (!writer.write(picture)) error = writer.errorString();
    else writeFile(path, std::span(reinterpret_cast<const uint8_t*>(png.constData()), static_cast<size_t>(png.size())), error);
    if (!error.isEmpty())
        QMessageBox::warning(m_window, QStringLiteral("Save Picture"),
                             QStringLiteral("Tambrel could not save the picture to %1: %2.").arg(QDir::toNativeSeparators(path), error));
    else
        kept(QStringLiteral("Picture"), path, m_pictureFolder);
}

// The folder a kind of file was last saved in during this run, else the
// user's folder for it (else home).
QString KeepControl::lastFolder(const QString& last, int where) const
{
    return !last.isEmpty() ? last : folder(static_cast<QStandardPaths::StandardLocation>(where));
}

void KeepControl::kept(const QString& what, const QString& path, QString& lastFolder)
{
    lastFolder = QFileInfo(path).absolutePath();
    emit saved(what, path);
}

void KeepControl::saveClip()
{
    if (exporting()) {
        QMessageBox::information(m_window, QStringLiteral("Save Clip"), QStringLiteral("A clip is being made already."));
        return;
    }
    uint32_t to = 0; // the clip ends when the user asks for it
    {
        std::lock_guard lock(m_program.stateLock);
        to = m_program.recorder().nowMs();
    }
    QDialog ask(m_window);
    ask.setWindowTitle(QStringLiteral("Save Clip"));
    auto* form = new QFormLayout(&ask);
    auto* seconds = new QSpinBox(&ask);
    seconds->setRange(1, static_cast<int>(Checkpoints::kLongestClipMs / 1000));
    seconds->setValue(m_clipSeconds);
    seconds->setSuffix(QStringLiteral(" s"));
    seconds->setObjectName(QStringLiteral("seconds"));
    auto* format = new QComboBox(&ask);
    format->setObjectName(QStringLiteral("format"));
    for (const ClipChoice& c : kClipChoices) format->addItem(QString::fromUtf8(c.label));
    format->setCurrentIndex(m_clipChoice); // as the last time in this run
    form->addRow(QStringLiteral("The last"), seconds);
    form->addRow(QStringLiteral("As"), format);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, &ask);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    if (ask.exec() != QDialog::Accepted) return;
    m_clipChoice = std::clamp(format->currentIndex(), 0, 2);
    m_clipSeconds = seconds->value();
    const ClipChoice& choice = kClipChoices[m_clipChoice];
    const uint32_t from = to > static_cast<uint32_t>(seconds->value()) * 1000 ? to - static_cast<uint32_t>(seconds->value()) * 1000 : 0;
    if (from >= to) {
        QMessageBox::information(m_window, QStringLiteral("Save Clip"), QStringLiteral("Nothing has happened yet to make a clip of."));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(
        m_window, QStringLiteral("Save Clip"),
        lastFolder(m_clipFolder, QStandardPaths::MoviesLocation) + QLatin1Char('/') + timeStamped(QString::fromLatin1(choice.extension)),
        QString::fromLatin1(choice.filter));
    if (path.isEmpty()) return;

    // The session so far and the newest checkpoint before the clip: the
    // clip is made again from them on a thread of its own.
    Session session;
    std::string error;
    if (!m_program.currentSession(session, error)) {
        QMessageBox::warning(m_window, QStringLiteral("Save Clip"), QStringLiteral("Tambrel could not make the clip: %1.").arg(QString::fromStdString(error)));
        return;
    }
    auto start = std::make_shared<ProgramState>();
    RecordMark mark;
    uint32_t taken = 0;
    const bool fromCheckpoint = m_program.copyCheckpoint(from, *start, mark, taken);
    ClipFormat clipFormat = choice.format;
    clipFormatFor(path.toStdString(), clipFormat); // a name the user typed with another extension decides
    m_exportCancel.store(false);
    m_exportDone.store(false);
    m_exportProgress.store(0);
    m_export = std::thread([this, session = std::move(session), from, to, start, mark, fromCheckpoint, clipFormat,
                            file = QFile::encodeName(path).toStdString()]() mutable {
        // Behind the window: the clip's threads (this one, and the encoder's,
        // started from here) yield to the animation (at nice 10 it lost 2
        // passes a second in 97). Not the idle class: on a machine busy with
        // other work a clip there never came to an end.
        setpriority(PRIO_PROCESS, 0, kExportNiceness);
        std::string problem;
        auto encoder = ClipEncoder::open(file, clipFormat, to - from, problem);
        if (!encoder) {
            m_exportError = problem;
            m_exportDone.store(true);
            return;
        }
        auto progress = [this](double done) {
            m_exportProgress.store(static_cast<int>(done * 1000));
            return !m_exportCancel.load();
        };
        const bool ok = renderClip(session, {from, to}, *encoder, problem, fromCheckpoint ? start.get() : nullptr,
                                   fromCheckpoint ? &mark : nullptr, progress) &&
                        encoder->finish(problem);
        m_exportError = ok ? std::string() : (encoder->error().empty() ? problem : encoder->error());
        encoder.reset(); // an unfinished file is removed here
        m_exportDone.store(true);
    });
    // A run shorter than asked for makes a shorter clip, and says so.
    const uint32_t asked = static_cast<uint32_t>(seconds->value()) * 1000;
    m_exportNote = to - from < asked ? QStringLiteral("The clip is %1 s long: the run is that long.")
                                           .arg(QLocale().toString((to - from) / 1000.0, 'f', 1))
                                     : QString();
    m_exportPath = path;
    m_progress = new QProgressDialog(QStringLiteral("Making %1…").arg(QFileInfo(path).fileName()), QStringLiteral("Cancel"),
                                     0, 1000, m_window);
    m_progress->setWindowTitle(QStringLiteral("Save Clip"));
    m_progress->setWindowModality(Qt::NonModal); // the window goes on meanwhile
    m_progress->setAttribute(Qt::WA_DeleteOnClose);
    m_progress->setMinimumDuration(0);
    connect(m_progress, &QProgressDialog::canceled, this, [this] { m_exportCancel.store(true); });
    m_exportWatch.disconnect();
    connect(&m_exportWatch, &QTimer::timeout, this, [this] {
        if (m_progress) m_progress->setValue(m_exportProgress.load());
        if (m_exportDone.load()) finishExport();
    });
    m_exportWatch.start(50);
}

void KeepControl::finishExport()
{
    m_exportWatch.stop();
    if (m_export.joinable()) m_export.join();
    // Read before the progress closes: closing it says "canceled", and a
    // clip made whole was then reported as cancelled, with no note.
    const bool cancelled = m_exportCancel.load();
    if (m_progress) {
        m_progress->disconnect(this);
        m_progress->close();
    }
    const QString problem = cancelled ? QStringLiteral("cancelled") : QString::fromStdString(m_exportError);
    emit clipDone(problem);
    if (!problem.isEmpty() && !cancelled)
        QMessageBox::warning(m_window, QStringLiteral("Save Clip"), QStringLiteral("Tambrel could not save the clip: %1.").arg(problem));
    else if (problem.isEmpty() && !m_exportNote.isEmpty())
        QMessageBox::information(m_window, QStringLiteral("Save Clip"), m_exportNote);
    if (problem.isEmpty()) kept(QStringLiteral("Clip"), m_exportPath, m_clipFolder);
}

bool KeepControl::saveSession()
{
    // What is saved is the session as it is when the user asks.
    const std::vector<uint8_t> bytes = m_program.sessionFile();
    if (m_program.recorder().holdsScreenPictures()) {
        QMessageBox ask(QMessageBox::Warning, QStringLiteral("Save Session"), QString::fromUtf8(kScreenPictureNotice),
                        QMessageBox::Cancel, m_window);
        QPushButton* save = ask.addButton(QStringLiteral("Save With Picture"), QMessageBox::AcceptRole);
        ask.setDefaultButton(QMessageBox::Cancel);
        ask.exec();
        if (ask.clickedButton() != save) return false;
    }
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("'Tambrel' yyyy-MM-dd HH.mm.ss'.tambrel'"));
    // Until it is saved or the user gives up: a failed save asks again, so
    // that a full disk never costs the session.
    QString path = lastFolder(m_sessionFolder, QStandardPaths::DocumentsLocation) + QLatin1Char('/') + name;
    for (;;) {
        path = QFileDialog::getSaveFileName(m_window, QStringLiteral("Save Session"), path, kFilter);
        if (path.isEmpty()) return false;
        QString error;
        if (writeFile(path, bytes, error)) {
            kept(QStringLiteral("Session"), path, m_sessionFolder);
            return true;
        }
        QMessageBox::warning(m_window, QStringLiteral("Save Session"),
                             QStringLiteral("Tambrel could not save the session to %1: %2.\nThe session is kept: choose "
                                            "another place for it, or cancel.")
                                 .arg(QDir::toNativeSeparators(path), error));
    }
}

void KeepControl::openSession()
{
    const QString path = QFileDialog::getOpenFileName(m_window, QStringLiteral("Open Session"),
                                                      lastFolder(m_sessionFolder, QStandardPaths::DocumentsLocation),
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
    replay(std::move(session), QFileInfo(path).fileName());
}

} // namespace tambrel
