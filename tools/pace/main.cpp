// SPDX-License-Identifier: MIT
// tambrel-pace: the real window, each mode switched on in turn for a few
// seconds, reporting the animation thread's passes per second and its
// 99th-percentile pass time. Runs on Qt's offscreen platform unless
// QT_QPA_PLATFORM or a display says otherwise.
//
//   build/tambrel-pace [seconds per mode, default 3] [--scale F] [--no-record] [--while-exporting [mp4|gif]] [--only MODE]
// --scale runs the window at that scale factor (QT_SCALE_FACTOR); with a
// display (DISPLAY or WAYLAND_DISPLAY) it runs on the real platform, as
// scripts/pace.sh does for X11 and Wayland at several scales.
// --no-record switches the session's recording off, to measure what it costs;
// --while-exporting makes clips one after another on a thread of their own
// all the while, as a Save Clip does: MP4s of 10 s of rings, or GIFs of 10 s
// of clouds (a new one every tenth of a second: every picture dithered);
// --only runs one mode (its word in the table, such as gravity).

#include "app/clip.h"
#include "app/qt/qt_app.h"
#include "video/clip_encoder.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <sched.h>

namespace {

// The Qt platform, noting when each pass of the animation thread reaches its
// pause and when the pause ends: the pass's work is the time between the two.
class PacePlatform : public tambrel::QtPlatform {
public:
    using QtPlatform::QtPlatform;
    using Clock = std::chrono::steady_clock;
    struct Pass {
        Clock::time_point pauseFrom, pauseTo;
    };
    void sleepMs(int ms) override
    {
        const bool animation = QThread::currentThread() != QCoreApplication::instance()->thread();
        const Clock::time_point from = Clock::now();
        QtPlatform::sleepMs(ms);
        if (animation) {
            std::lock_guard lock(m_mutex);
            m_passes.push_back({from, Clock::now()});
        }
    }
    std::vector<Pass> take()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_passes, {});
    }

private:
    std::mutex m_mutex;
    std::vector<Pass> m_passes;
};

// Ten seconds of rings made into MP4 clips, or of clouds into GIF clips,
// until `done`, as an export on its own thread would load the machine.
void exportClips(tambrel::ClipFormat format, std::atomic<bool>& done, std::atomic<int>& clips, std::atomic<int>& clipsMs)
{
    const bool gif = format == tambrel::ClipFormat::Gif;
    tambrel::MemoryPlatform platform;
    tambrel::MemoryDialogView view;
    tambrel::Program program(platform, view);
    uint32_t now = 0;
    program.recorder().setClock([&now] { return now; });
    program.rnd.setState(7);
    program.buildMainWindow();
    const tambrel::DialogEvent click{tambrel::DialogMessage::Command, tambrel::kCanvasId, tambrel::kClicked, false};
    program.onDialogEvent({tambrel::DialogMessage::Command, tambrel::kModeTable[tambrel::modeIndexForWord(gif ? "clouds" : "psyche")].buttonId, tambrel::kClicked, false});
    program.onDialogEvent(click);
    for (int pass = 0; pass < 1000; ++pass, now += 10) {
        if (gif && pass % 10 == 9) program.onDialogEvent(click);
        program.frameLoop().pass();
    }
    tambrel::Session session;
    std::string error;
    program.currentSession(session, error);
    const std::string file = gif ? "/tmp/tambrel-pace-clip.gif" : "/tmp/tambrel-pace-clip.mp4";
    sched_param idle{}; // as the window's own export thread
    sched_setscheduler(0, SCHED_IDLE, &idle);
    while (!done.load()) {
        const auto from = std::chrono::steady_clock::now();
        auto encoder = tambrel::ClipEncoder::open(file, format, 10000, error);
        if (!encoder) return;
        if (tambrel::renderClip(session, {0, 10000}, *encoder, error, nullptr, nullptr, [&](double) { return !done.load(); }) &&
            encoder->finish(error)) {
            ++clips;
            clipsMs += static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - from).count());
        }
    }
    std::remove(file.c_str());
}

// Runs the window's event loop for ms milliseconds, as the program's own would.
void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--scale") == 0) qputenv("QT_SCALE_FACTOR", argv[i + 1]);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication qapp(argc, argv);
    int seconds = 3;
    bool record = true, exporting = false;
    tambrel::ClipFormat exportFormat = tambrel::ClipFormat::Mp4;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scale") == 0) ++i; // taken above
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
        else if (std::strcmp(argv[i], "--no-record") == 0) record = false;
        else if (std::strcmp(argv[i], "--while-exporting") == 0) {
            exporting = true;
            if (i + 1 < argc && std::strcmp(argv[i + 1], "gif") == 0) exportFormat = tambrel::ClipFormat::Gif, ++i;
            else if (i + 1 < argc && std::strcmp(argv[i + 1], "mp4") == 0) ++i;
        }
        else seconds = std::max(1, std::atoi(argv[i]));
    }
    std::atomic<bool> done{false};
    std::atomic<int> clips{0}, clipsMs{0};
    std::thread exporter;
    if (exporting) exporter = std::thread([&] { exportClips(exportFormat, done, clips, clipsMs); });

    tambrel::BasicQtApp<PacePlatform> app(2024);
    app.program.recorder().setEnabled(record);
    app.show();
    pump(300);

    // The pointer circles over the canvas so that every mode has something to follow.
    int tick = 0;
    QTimer mover;
    QObject::connect(&mover, &QTimer::timeout, [&] {
        const double a = ++tick * 0.05;
        QCursor::setPos(app.dialog.mapToGlobal(QPoint(310 + static_cast<int>(120 * std::sin(a)),
                                                      266 + static_cast<int>(90 * std::cos(a)))));
    });
    mover.start(16);

    // A pass's period is its work (step, record, hand-over) and its pause of
    // 10 ms; "late" is how far the pause ran over, waiting for a core.
    std::printf("%-10s %10s %10s %10s %10s %10s\n", "mode", "passes/s", "p50 ms", "p99 ms", "work ms", "late ms");
    for (const tambrel::ModeInfo& info : tambrel::kModeTable) {
        if (!only.empty() && only != info.word) continue;
        app.dialog.button(info.buttonId)->click();
        for (int i = 0; i < 3; ++i) { // give the clicking modes something to show
            app.program.onDialogEvent({tambrel::DialogMessage::Command, tambrel::kCanvasId, tambrel::kClicked, false});
            pump(100);
        }
        pump(300);
        app.platform.take();
        QElapsedTimer t;
        t.start();
        pump(seconds * 1000);
        const double elapsed = t.elapsed() / 1000.0;
        const auto passes = app.platform.take();
        auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
        std::vector<double> periods, work, late;
        for (size_t i = 1; i < passes.size(); ++i) {
            periods.push_back(ms(passes[i].pauseFrom - passes[i - 1].pauseFrom));
            work.push_back(ms(passes[i].pauseFrom - passes[i - 1].pauseTo));
            late.push_back(ms(passes[i].pauseTo - passes[i].pauseFrom) - tambrel::kPassPauseMs);
        }
        auto pct = [](std::vector<double>& v, double q) {
            if (v.empty()) return 0.0;
            std::sort(v.begin(), v.end());
            return v[static_cast<size_t>(q * (v.size() - 1))];
        };
        std::printf("%-10s %10.1f %10.2f %10.2f %10.3f %10.3f\n", std::string(info.word).c_str(), passes.size() / elapsed,
                    pct(periods, 0.5), pct(periods, 0.99), pct(work, 0.5), pct(late, 0.5));
        std::fflush(stdout);
    }
    app.dialog.close();
    app.program.finish();
    done.store(true);
    if (exporter.joinable()) {
        exporter.join();
        std::printf("(%d clips made meanwhile, %.1f s each)\n", clips.load(), clips ? clipsMs / 1000.0 / clips : 0.0);
    }
    return 0;
}
