// SPDX-License-Identifier: MIT
#include "render/render.h"

#include "app/clip.h"
#include "app/qt/image_convert.h"
#include "video/clip_encoder.h"
#include "test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

namespace tambrel {
namespace {

int runTool(const std::string& args)
{
    const std::string cmd = std::string(TAMBREL_RENDER) + " " + args + " >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

QByteArray digest(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// A pointer path file in the folder; its name.
QString writePath(const QTemporaryDir& dir, const QString& name, const char* lines)
{
    const QString file = dir.filePath(name);
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(lines) < 0) ADD_FAILURE() << "cannot write " << file.toStdString();
    return file;
}

TEST(Render, SameSeedAndPathGiveTheSamePicture)
{
    QTemporaryDir dir;
    const QString path = writePath(dir, "path.txt", "100 100\n140 120\n\n200 300\n");
    for (const char* mode : {"fireworks", "gravity", "psyche", "clouds", "bumps", "whirl"}) {
        const QString a = dir.filePath(QString("a-%1.png").arg(mode)), b = dir.filePath(QString("b-%1.png").arg(mode));
        const std::string common = std::string("--mode ") + mode + " --seed 99 --frames 30 --click 0 --click 12 --path " +
                                   path.toStdString();
        ASSERT_EQ(runTool(common + " --out " + a.toStdString()), 0) << mode;
        ASSERT_EQ(runTool(common + " --out " + b.toStdString()), 0) << mode;
        EXPECT_EQ(digest(a), digest(b)) << mode;
        const QImage img(a);
        EXPECT_EQ(img.size(), QSize(596, 508));
    }
}

TEST(Render, EveryFrameOptionAndCaptureImage)
{
    QTemporaryDir dir;
    QImage screen(800, 600, QImage::Format_RGB32);
    screen.fill(QColor(10, 200, 30));
    const QString shot = dir.filePath("screen.png");
    ASSERT_TRUE(screen.save(shot));
    const QString out = dir.filePath("cap.png");
    ASSERT_EQ(runTool("--mode capture --seed 1 --frames 4 --capture-image " + shot.toStdString() + " --every 2 " +
                      dir.filePath("frames").toStdString() + " --out " + out.toStdString()),
              0);
    EXPECT_EQ(QImage(out).pixelColor(0, 0), QColor(10, 200, 30));
    EXPECT_TRUE(QFile::exists(dir.filePath("frames/frame-00002.png")));
    EXPECT_TRUE(QFile::exists(dir.filePath("frames/frame-00004.png")));
}

TEST(Render, BadArgumentsAreClearErrors)
{
    RenderOptions o;
    std::string error;
    auto parses = [&](std::vector<std::string> args) {
        o = RenderOptions{};
        return parseRenderArgs(args, o, error);
    };
    EXPECT_FALSE(parses({"--mode", "sparkles"}));
    EXPECT_NE(error.find("follower, bouncy, drawing"), std::string::npos) << error;
    EXPECT_FALSE(parses({"--mode", "snow", "--frames", "ten"}));
    EXPECT_FALSE(parses({"--mode", "snow", "--pointer", "3"}));
    EXPECT_FALSE(parses({"--mode", "snow", "--seed", "-4"}));
    EXPECT_FALSE(parses({"--mode", "snow", "--path", "/nonexistent/path"}));
    EXPECT_FALSE(parses({"--frames", "3"})) << "--mode is required";
    EXPECT_FALSE(parses({"--mode", "snow", "--bogus"}));
    EXPECT_FALSE(parses({"--mode"}));
    EXPECT_TRUE(parses({"--mode", "snow", "--pointer", "-5,700", "--click", "0"})) << error;
    EXPECT_EQ(o.segments.at(0).pointer, std::make_pair(-5, 700));
    EXPECT_TRUE(parses({"--autopilot", "--seed", "3", "--frames", "50", "--seconds-per-mode", "5", "--with-capture"})) << error;
    EXPECT_FALSE(parses({"--autopilot", "--mode", "snow"})) << "the hand plays its own modes";
    EXPECT_FALSE(parses({"--autopilot", "--click", "3"}));
    EXPECT_FALSE(parses({"--autopilot", "--seconds-per-mode", "0"}));
    EXPECT_FALSE(parses({"--mode", "snow", "--seconds-per-mode", "5"})) << "only with --autopilot";
    EXPECT_EQ(runTool("--mode sparkles"), 2);
    EXPECT_EQ(runTool("--mode capture --capture-image /nonexistent.png"), 2);
    EXPECT_EQ(runTool("--mode snow --frames 1"), 0);
}

// A recorded session replays in the renderer to the program's own surface,
// after every pass it names; what is not a session is refused in one line.
TEST(Render, ReplaysASessionToTheRecordedSurface)
{
    QTemporaryDir dir;
    test::Harness h(77);
    h.platform.setScreen(Image(80, 60, 0x336699));
    h.switchOn(test::kGravity);
    h.clickCanvas(300, 250);
    h.passes(6, 280, 240);
    const std::vector<uint32_t> atSix(h.program.canvas.pixels(), h.program.canvas.pixels() + 596 * 508);
    h.switchOn(test::kCapture);
    h.passes(4, 10, 20);
    const QString file = dir.filePath("run.tambrel");
    {
        const std::vector<uint8_t> bytes = h.program.sessionFile();
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    auto surface = [](const QImage& png) {
        std::vector<uint32_t> px;
        for (int y = 0; y < png.height(); ++y)
            for (int x = 0; x < png.width(); ++x) {
                const QRgb c = png.pixel(x, y);
                px.push_back(static_cast<uint32_t>(qRed(c) | qGreen(c) << 8 | qBlue(c) << 16));
            }
        return px;
    };
    const std::string frames = dir.filePath("frames").toStdString();
    ASSERT_EQ(runTool("--replay " + file.toStdString() + " --every 2 " + frames + " --out " +
                      dir.filePath("end.png").toStdString()),
              0);
    EXPECT_TRUE(surface(QImage(dir.filePath("end.png"))) ==
                std::vector<uint32_t>(h.program.canvas.pixels(), h.program.canvas.pixels() + 596 * 508));
    EXPECT_TRUE(surface(QImage(dir.filePath("frames/frame-00006.png"))) == atSix);
    EXPECT_TRUE(QFile::exists(dir.filePath("frames/frame-00010.png")));
    ASSERT_EQ(runTool("--replay " + file.toStdString() + " --until 6 --out " + dir.filePath("six.png").toStdString()), 0);
    EXPECT_TRUE(surface(QImage(dir.filePath("six.png"))) == atSix);

    RenderOptions o;
    std::string error;
    EXPECT_FALSE(parseRenderArgs({"--replay", "x", "--seed", "3"}, o, error));
    EXPECT_FALSE(parseRenderArgs({"--mode", "snow", "--until", "3"}, o, error));
    std::ostringstream err;
    o = {};
    o.replay = writePath(dir, "not-a-session.tambrel", "hello").toStdString();
    EXPECT_EQ(runRender(o, err), 2);
    const std::string said = err.str();
    EXPECT_NE(said.find("not a Tambrel session"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

// A session's clip in each format, through the renderer, checked with
// decoders that are not ours against the pictures the core renders: WebP
// every frame's exact pixels and time, GIF exact wherever a frame has at
// most 256 colours, MP4 the right frames and length within 35 dB.
TEST(Clip, ExportsDecodeToTheRenderersPictures)
{
    QTemporaryDir dir;
    const std::string session = dir.filePath("s.tambrel").toStdString();
    const QString path = writePath(dir, "path.txt", "300 250\n320 240\n340 230\n360 250\n380 270\n");
    ASSERT_EQ(runTool("--seed 5 --mode psyche --frames 150 --click 0 --click 80 --path " + path.toStdString() +
                      " --mode clouds --frames 100 --click 0 --click 50 --click 99 --save-session " + session),
              0);
    Session s;
    std::string error;
    ASSERT_TRUE(readSessionFile(session, s, error)) << error;

    struct Reference : FrameSink {
        QString dir;
        QFile list;
        int n = 0;
        QImage png;
        bool frame(const uint32_t* pixels, uint32_t fromMs, uint32_t untilMs) override
        {
            surfaceToQImage(pixels, Canvas::kWidth, Canvas::kHeight, png);
            std::set<uint32_t> colours(pixels, pixels + Canvas::kWidth * Canvas::kHeight);
            list.write(QStringLiteral("%1 %2 %3\n").arg(fromMs).arg(untilMs).arg(colours.size()).toUtf8());
            return png.save(QStringLiteral("%1/%2.png").arg(dir).arg(n++, 5, 10, QLatin1Char('0')));
        }
    } reference;
    reference.dir = dir.filePath("ref");
    ASSERT_TRUE(QDir().mkpath(reference.dir));
    reference.list.setFileName(reference.dir + "/frames.txt");
    ASSERT_TRUE(reference.list.open(QIODevice::WriteOnly));
    ASSERT_TRUE(renderClip(s, {0, s.durationMs}, reference, error)) << error;
    reference.list.close();
    ASSERT_GT(reference.n, 100);

    for (const char* kind : {"webp", "gif", "mp4"}) {
        const std::string clip = dir.filePath(QString("clip.%1").arg(kind)).toStdString();
        ASSERT_EQ(runTool("--replay " + session + " --video " + clip), 0) << kind;
        const std::string check = "/usr/bin/python3 " TAMBREL_TESTS_DIR "/clip_check.py " + std::string(kind) + " " +
                                  clip + " " + reference.dir.toStdString();
        EXPECT_EQ(std::system(check.c_str()), 0) << kind;
    }
    EXPECT_EQ(runTool("--replay " + session + " --video " + dir.filePath("clip.avi").toStdString()), 2)
        << "a format it does not make";
    EXPECT_EQ(runTool("--replay " + session + " --video /nonexistent/clip.webp"), 2) << "a file it cannot write";
}

// A pause longer than a format can hold a picture is shown as the longest
// it can, every picture in its order after it: never an encoder's error,
// nor a clip cut short.
TEST(Clip, ALongPauseIsShownAsTheLongestTheFormatHolds)
{
    QTemporaryDir dir;
    constexpr uint32_t kPause = 1u << 30; // twelve days
    const struct {
        const char* name;
        ClipFormat format;
        double seconds; // one second, the longest pause the format holds, one second
        const char* probe;
    } formats[] = {
        {"clip.gif", ClipFormat::Gif, 2 + 655.34, "ffprobe -v error -show_entries format=duration -of csv=p=0 FILE"},
        {"clip.mp4", ClipFormat::Mp4, 2 + 67108.863, "ffprobe -v error -show_entries format=duration -of csv=p=0 FILE"},
        {"clip.webp", ClipFormat::WebP, 2 + 16777.214,
         "webpmux -info FILE | awk '$1 ~ /^[0-9]+:$/ {t += $7} END {print t / 1000}'"},
    };
    std::vector<uint32_t> red(Canvas::kWidth * Canvas::kHeight, 0x0000FF), blue(red.size(), 0xFF0000), green(red.size(), 0x00FF00);
    for (const auto& f : formats) {
        const std::string path = dir.filePath(f.name).toStdString();
        std::string error;
        auto encoder = ClipEncoder::open(path, f.format, 2000 + kPause, error);
        ASSERT_TRUE(encoder) << error;
        ASSERT_TRUE(encoder->frame(red.data(), 0, 1000) && encoder->frame(blue.data(), 1000, 1000 + kPause) &&
                    encoder->frame(green.data(), 1000 + kPause, 2000 + kPause) && encoder->finish(error))
            << f.name << ": " << (error.empty() ? encoder->error() : error);
        std::string probe = f.probe;
        probe.replace(probe.find("FILE"), 4, path);
        FILE* out = popen(probe.c_str(), "r");
        double seconds = 0;
        ASSERT_EQ(std::fscanf(out, "%lf", &seconds), 1) << f.name;
        pclose(out);
        EXPECT_NEAR(seconds, f.seconds, 0.05) << f.name;
    }
}

// Every number the renderer takes, at the ends of its range: each mode runs
// with pointers at the int range's corners, clicks and seeds at theirs (the
// sanitized suite turns any overflow into a failure); one past the ends is
// refused with a message.
// A session the Linux window recorded through real input (seven modes, a
// screen picture, double clicks) replays to the picture the window showed at
// its end: sessions of earlier builds keep replaying, and the web page and
// the Windows edition, which replay it against the renderer, are held to it.
TEST(Render, TheLinuxWindowsSessionReplaysToItsPicture)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("end.png");
    ASSERT_EQ(runTool("--replay " TAMBREL_TESTS_DIR "/sessions/linux-window.tambrel --out " + out.toStdString()), 0);
    const QImage png = QImage(out).convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(png.size(), QSize(596, 508));
    QByteArray rgb;
    for (int y = 0; y < png.height(); ++y) rgb.append(reinterpret_cast<const char*>(png.constScanLine(y)), 596 * 3);
    EXPECT_EQ(QCryptographicHash::hash(rgb, QCryptographicHash::Sha256).toHex().toStdString(),
              "53009c3e9d6db4065e64dcb01875a2034d28906c0c02228e59e0f01248a14334"); // the window's own picture
}

TEST(Render, ExtremeNumbersAreHandledOrRefused)
{
    QTemporaryDir dir;
    const QString path = writePath(dir, "path.txt",
                                   "2147483647 -2147483648\n-2147483648 2147483647\n0 0\n2147483647 2147483647\n"
                                   "-2147483648 -2147483648\n-1 600\n");
    const std::string every = dir.filePath("frames").toStdString();
    for (const char* mode : {"follower", "bouncy", "drawing", "fireworks", "emitter", "gravity", "snow", "stars",
                             "bumps", "shader", "clouds", "capture", "whirl", "psyche"}) {
        RenderOptions o;
        std::string error;
        ASSERT_TRUE(parseRenderArgs({"--mode", mode, "--seed", "4294967295", "--frames", "8", "--path",
                                     path.toStdString(), "--click", "0", "--click", "3", "--click", "2147483647",
                                     "--every", "2147483647", every},
                                    o, error))
            << error;
        std::ostringstream err;
        EXPECT_EQ(runRender(o, err), 0) << mode << ": " << err.str();
    }
    EXPECT_EQ(runTool("--mode psyche --seed 0 --frames 0 --pointer -2147483648,2147483647 --click 2147483647"), 0);

    const std::vector<std::vector<std::string>> refused = {
        {"--frames", "10000001"}, {"--frames", "2147483648"}, {"--frames", "-1"},  {"--seed", "4294967296"},
        {"--pointer", "2147483648,0"}, {"--pointer", "0,-2147483649"}, {"--click", "-1"},
        {"--click", "2147483648"}, {"--every", "0", "d"}, {"--every", "2147483648", "d"}};
    for (const auto& extra : refused) {
        std::vector<std::string> args = {"--mode", "snow"};
        args.insert(args.end(), extra.begin(), extra.end());
        RenderOptions o;
        std::string error;
        EXPECT_FALSE(parseRenderArgs(args, o, error)) << extra[0] << " " << extra[1];
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    EXPECT_EQ(runTool("--mode snow --path " + writePath(dir, "far.txt", "0 0\n2147483648 0\n").toStdString()), 2);
}

} // namespace
} // namespace tambrel
