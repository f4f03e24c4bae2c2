// SPDX-License-Identifier: MIT
// Tambrel: the window, the animation thread and the fourteen modes.

#include "app/layout.h"
#include "app/qt/accessibility.h"
#include "app/qt/qt_app.h"
#include "app/qt/replay_bar.h"
#include "app/qt/saver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBadArguments = 2, kNoDisplay = 1;
// --record's file lacks the end of the run: the last write failed.
constexpr int kRecordingLost = 3;

// While the window system is being opened, Qt's complaints are held back:
// if it cannot open one, Qt would abort after several lines of its own, so
// the program says why in one line and exits instead.
QStringList heldBack;
void whileOpening(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg) {
        heldBack << message;
        return;
    }
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const QString reason = noDisplay ? QStringLiteral("there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set)")
                           : heldBack.isEmpty() ? message.section(QLatin1Char('\n'), 0, 0)
                                                : heldBack.first(); // the first is the cause
    std::fprintf(stderr, "tambrel: cannot open the window: %s\n", qPrintable(reason));
    std::_Exit(kNoDisplay);
}

// The application's icon from the hicolor theme files, wherever the program
// was installed (prefix/bin next to prefix/share) or built (next to icons/).
QIcon applicationIcon()
{
    QIcon icon = QIcon::fromTheme(QStringLiteral(TAMBREL_APP_ID));
    if (!icon.isNull()) return icon;
    const QString here = QCoreApplication::applicationDirPath();
    QStringList roots{here + QStringLiteral("/../share/icons"), here + QStringLiteral("/icons")};
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        roots << data + QStringLiteral("/icons");
    for (const QString& root : roots) {
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QString file = QStringLiteral("%1/hicolor/%2x%2/apps/%3.png").arg(root).arg(size).arg(QStringLiteral(TAMBREL_APP_ID));
            if (QFileInfo::exists(file)) icon.addFile(file, QSize(size, size));
        }
        if (!icon.isNull()) break;
    }
    return icon;
}

// Qt's widgets do not draw below a scale of 1 (buttons come out clipped or
// not at all), so a factor below 1 asked for through Qt's variables is
// raised to 1, with one line that says so.
void refuseScalesBelowOne()
{
    auto below1 = [](const QString& v) {
        bool ok = false;
        const double f = v.toDouble(&ok);
        return ok && f < 1;
    };
    if (const QString v = qEnvironmentVariable("QT_SCALE_FACTOR"); below1(v)) {
        std::fprintf(stderr, "tambrel: QT_SCALE_FACTOR=%s is below 1, which the window cannot be drawn at; using 1\n", qPrintable(v));
        qputenv("QT_SCALE_FACTOR", "1");
    }
    // "1.5;0.8" or "HDMI-1=1.5;DP-1=0.8": each screen's factor.
    QStringList screens = qEnvironmentVariable("QT_SCREEN_SCALE_FACTORS").split(QLatin1Char(';'));
    bool raised = false;
    for (QString& screen : screens) {
        const qsizetype eq = screen.indexOf(QLatin1Char('='));
        if (!below1(screen.mid(eq + 1))) continue;
        screen = screen.left(eq + 1) + QLatin1Char('1');
        raised = true;
    }
    if (raised) {
        std::fprintf(stderr, "tambrel: QT_SCREEN_SCALE_FACTORS=%s has factors below 1, which the window cannot be drawn at; using 1 for those\n",
                     qPrintable(qEnvironmentVariable("QT_SCREEN_SCALE_FACTORS")));
        qputenv("QT_SCREEN_SCALE_FACTORS", screens.join(QLatin1Char(';')).toLocal8Bit());
    }
}

// Set for the program started again at a scale that fits: what the user
// had asked for with QT_SCALE_FACTOR ("-" for nothing), given back to the
// programs it starts.
constexpr const char* kFittedFrom = "TAMBREL_FITTED_FROM";

// A scale at which the screen's work area cannot hold the window (with its
// replay bar and a title bar) gives way to the largest whole scale that
// fits: Qt fixes the scale when it starts, so the program starts again
// under it at once, before it has done anything. Returns only when the
// scale stands.
void fitScaleToScreen(char** originalArgv)
{
    if (qEnvironmentVariableIsSet(kFittedFrom)) {
        const QByteArray asked = qgetenv(kFittedFrom);
        if (asked == "-") qunsetenv("QT_SCALE_FACTOR");
        else qputenv("QT_SCALE_FACTOR", asked);
        qunsetenv(kFittedFrom);
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const double scale = screen->devicePixelRatio();
    const QSize work = screen->availableGeometry().size() * scale; // in device pixels
    constexpr int kTitleBar = 32, kFrame = 8; // what a window manager adds, about
    auto fits = [&](double s) {
        return std::lround((tambrel::layout::kClientWidth + kFrame) * s) <= work.width() &&
               std::lround((tambrel::layout::kClientHeight + tambrel::ReplayBar::kHeight + kTitleBar) * s) <= work.height();
    };
    if (scale <= 1 || fits(scale)) return;
    int whole = std::max(1, static_cast<int>(std::ceil(scale)) - 1);
    while (whole > 1 && !fits(whole)) --whole;
    const QByteArray asked = qgetenv("QT_SCALE_FACTOR");
    bool number = false;
    const double factor = asked.toDouble(&number);
    std::fprintf(stderr, "tambrel: the window does not fit the screen at a scale of %g; using %d\n", scale, whole);
    qputenv(kFittedFrom, asked.isEmpty() ? QByteArray("-") : asked);
    qputenv("QT_SCALE_FACTOR", QByteArray::number((number && factor > 0 ? factor : 1.0) * whole / scale, 'g', 17));
    execv("/proc/self/exe", originalArgv);
    // Not started again: the window stays as asked.
    if (asked.isEmpty()) qunsetenv("QT_SCALE_FACTOR");
    else qputenv("QT_SCALE_FACTOR", asked);
    qunsetenv(kFittedFrom);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("tambrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAMBREL_VERSION));

    // The command line first, so that --help and --version need no display.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Fourteen interactive animations steered by the mouse."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Write the session to FILE as it goes (at least once a second), so that "
                                                   "it can be replayed bit for bit."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption replay(QStringLiteral("replay"),
                                    QStringLiteral("Replay the session in FILE at its recorded pace; any press or click "
                                                   "takes it over from where it is."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption at(QStringLiteral("at"),
                                QStringLiteral("With a session to replay: start it at that time, in seconds from its start."),
                                QStringLiteral("SECONDS"));
    const QCommandLineOption autopilot(QStringLiteral("autopilot"),
                                       QStringLiteral("Play by itself: a hand of its own moves the pointer, clicks and switches "
                                                      "modes until a press, a click or a key takes over."));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("With --autopilot or --saver: the seed of the run and of its hand, to "
                                                       "repeat a show."),
                                        QStringLiteral("N"));
    const QCommandLineOption saver(QStringLiteral("saver"),
                                   QStringLiteral("Be a screensaver: the canvas alone, played by itself, on black, full "
                                                  "screen (a key, a click or a move ends it), or in the window the "
                                                  "screensaver daemon gives in XSCREENSAVER_WINDOW."));
    const QCommandLineOption windowId(QStringLiteral("window-id"),
                                      QStringLiteral("As --saver, drawing into the X11 window ID."), QStringLiteral("ID"));
    const QCommandLineOption root(QStringLiteral("root"),
                                  QStringLiteral("As --saver, drawing into XSCREENSAVER_WINDOW or else onto the root window."));
    const QCommandLineOption perMode(QStringLiteral("seconds-per-mode"),
                                     QStringLiteral("With --autopilot or --saver: how long each mode plays (default 30)."),
                                     QStringLiteral("S"));
    parser.addOption(help);
    parser.addOption(autopilot);
    parser.addOption(saver);
    parser.addOption(windowId);
    parser.addOption(root);
    parser.addOption(seedOption);
    parser.addOption(perMode);
    parser.addOption(version);
    parser.addOption(record);
    parser.addOption(replay);
    parser.addOption(at);
    // Qt's own options, which the window system part of Qt reads.
    for (const char* qtOption : {"platform", "display", "style"}) {
        QCommandLineOption o(QString::fromLatin1(qtOption), QString(), QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A session to replay, as --replay FILE does (how a file "
                                                                        "manager opens one)."),
                                 QStringLiteral("[FILE]"));
    // A session named alone is replayed, as a file manager asks with a double click.
    const bool parsed = parser.parse(args);
    const QStringList named = parser.positionalArguments();
    if (!parsed || named.size() > 1 || (named.size() == 1 && parser.isSet(replay))) {
        const QString error = !parsed ? parser.errorText()
                                      : QStringLiteral("unexpected argument '%1' (one session at most)").arg(named.last());
        std::fprintf(stderr, "tambrel: %s (see tambrel --help)\n", qPrintable(error));
        return kBadArguments;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("tambrel"))),
                   stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("tambrel %s\n", TAMBREL_VERSION);
        return 0;
    }

    // A session to replay is read before anything opens: a file that is not
    // one is refused in one line.
    tambrel::Session session;
    const QString replayFile = named.isEmpty() ? parser.value(replay) : named.first();
    const bool replaying = !named.isEmpty() || parser.isSet(replay);
    uint32_t atMs = 0;
    if (parser.isSet(at)) {
        bool number = false;
        const double seconds = parser.value(at).toDouble(&number);
        if (!replaying || !number || !(seconds >= 0 && seconds * 1000 <= UINT32_MAX)) {
            std::fprintf(stderr, "tambrel: %s (see tambrel --help)\n",
                         !replaying ? "--at goes with a session to replay"
                                    : qPrintable(QStringLiteral("--at takes seconds of the session, not '%1'").arg(parser.value(at))));
            return kBadArguments;
        }
        atMs = static_cast<uint32_t>(seconds * 1000);
    }
    uint32_t seed = tambrel::Rnd::clockSeed(); // the only seeding of the run
    const bool saving = parser.isSet(saver) || parser.isSet(windowId) || parser.isSet(root);
    const bool playing = parser.isSet(autopilot) || saving;
    auto refuse = [](const QString& why) {
        std::fprintf(stderr, "tambrel: %s (see tambrel --help)\n", qPrintable(why));
        return kBadArguments;
    };
    if ((parser.isSet(seedOption) || parser.isSet(perMode)) && !playing)
        return refuse(QStringLiteral("--seed and --seconds-per-mode go with --autopilot or --saver"));
    if (playing && replaying) return refuse(QStringLiteral("playing by itself does not go with a session to replay"));
    if (parser.isSet(autopilot) && saving) return refuse(QStringLiteral("--autopilot is the window's; --saver has no window"));
    if (parser.isSet(windowId) && parser.isSet(root)) return refuse(QStringLiteral("--window-id and --root each say where to draw: give one"));
    if (parser.isSet(seedOption)) {
        bool number = false;
        const qulonglong n = parser.value(seedOption).toULongLong(&number);
        if (!number || n > UINT32_MAX)
            return refuse(QStringLiteral("--seed takes 0 to 4294967295, not '%1'").arg(parser.value(seedOption)));
        seed = static_cast<uint32_t>(n);
    }
    uint32_t secondsPerMode = tambrel::Autopilot::kSecondsPerMode;
    if (parser.isSet(perMode)) {
        bool number = false;
        const uint n = parser.value(perMode).toUInt(&number);
        if (!number || n < 1 || n > 86400)
            return refuse(QStringLiteral("--seconds-per-mode takes 1 to 86400, not '%1'").arg(parser.value(perMode)));
        secondsPerMode = n;
    }
    tambrel::SaverOptions saverOptions{tambrel::SaverOptions::Where::OwnWindow, 0, seed, secondsPerMode, parser.value(record)};
    // The daemon's window wins over the root window, as a screensaver's --root means.
    if (saving && (parser.isSet(windowId) || qEnvironmentVariableIsSet("XSCREENSAVER_WINDOW"))) {
        // What the daemon sets is in hexadecimal ("0x2200007"); ours may be decimal too.
        const QString id = parser.isSet(windowId) ? parser.value(windowId) : qEnvironmentVariable("XSCREENSAVER_WINDOW");
        bool number = false;
        saverOptions.windowId = id.trimmed().toULong(&number, 0);
        if (!number || saverOptions.windowId == 0 || saverOptions.windowId > UINT32_MAX)
            return refuse(QStringLiteral("a window id is a number such as 0x2200007, not '%1'").arg(id));
        saverOptions.where = tambrel::SaverOptions::Where::Given;
    } else if (parser.isSet(root)) {
        saverOptions.where = tambrel::SaverOptions::Where::Root;
    }
    if (replaying) {
        std::string error;
        if (!tambrel::readSessionFile(QFile::encodeName(replayFile).toStdString(), session, error)) {
            std::fprintf(stderr, "tambrel: cannot replay %s: %s\n", qPrintable(replayFile), error.c_str());
            return kBadArguments;
        }
    }

    // Crisp canvas pixels at any scale are the canvas's own business (whole
    // blocks of device pixels); the rest of the window scales as the desktop asks.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    if (saving) tambrel::prepareSaver();
    else if (!qEnvironmentVariableIsSet(kFittedFrom)) refuseScalesBelowOne(); // a fitted factor may be below 1 on a scaled screen
    const std::vector<char*> originalArgv(argv, argv + argc + 1); // Qt takes its own options out of argv
    const QtMessageHandler usual = qInstallMessageHandler(whileOpening);
    // The desktop entry's name is the window's identity: the Wayland app id
    // and the X11 class that task bars tie to the launcher and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(TAMBREL_APP_ID));
    QApplication app(argc, argv);
    qInstallMessageHandler(usual);
    if (!saving) fitScaleToScreen(const_cast<char**>(originalArgv.data()));
    for (const QString& message : std::as_const(heldBack)) qWarning("%s", qPrintable(message));
    if (saving) return tambrel::runSaver(saverOptions);
    QApplication::setWindowIcon(applicationIcon());
    tambrel::installAccessibility();

    tambrel::QtApp tambrel(seed);
    if (parser.isSet(record)) {
        QString error;
        if (!tambrel.keeping.recordTo(parser.value(record), error)) {
            std::fprintf(stderr, "tambrel: cannot write the session to %s: %s\n", qPrintable(parser.value(record)),
                         qPrintable(error));
            return kBadArguments;
        }
    }
    tambrel.show();
    if (replaying) tambrel.keeping.replay(std::move(session), QFileInfo(replayFile).fileName(), atMs);
    if (parser.isSet(autopilot)) tambrel.dialog.playByItself(seed, secondsPerMode);
    app.exec();
    tambrel.shutdown(); // the thread ends at the top of its next pass
    // All of it, to the end of the run; where that cannot be written, the
    // session is still in memory: the user may keep it elsewhere.
    if (!tambrel.keeping.writeRecord(true)) {
        QMessageBox ask(QMessageBox::Critical, QStringLiteral("Recording"),
                        QStringLiteral("Tambrel could not write the end of the session to %1: %2.\nThe file holds "
                                       "the session up to the last second it could be written.")
                            .arg(QDir::toNativeSeparators(parser.value(record)),
                                 QString::fromStdString(tambrel.keeping.recordFile().problem())),
                        QMessageBox::Discard);
        QPushButton* save = ask.addButton(QStringLiteral("Save Elsewhere…"), QMessageBox::AcceptRole);
        ask.setDefaultButton(save);
        ask.setEscapeButton(QMessageBox::Discard);
        ask.exec();
        if (ask.clickedButton() == save && tambrel.keeping.saveSession()) return 0;
        return kRecordingLost;
    }
    return 0;
}
