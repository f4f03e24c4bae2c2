// SPDX-License-Identifier: MIT
#include "render/render.h"

#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
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

TEST(Render, SameSeedAndPathGiveTheSamePicture)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("path.txt");
    QFile p(path);
    ASSERT_TRUE(p.open(QIODevice::WriteOnly));
    p.write("100 100\n140 120\n\n200 300\n");
    p.close();
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
    EXPECT_EQ(o.pointer, std::make_pair(-5, 700));
    EXPECT_EQ(runTool("--mode sparkles"), 2);
    EXPECT_EQ(runTool("--mode capture --capture-image /nonexistent.png"), 2);
    EXPECT_EQ(runTool("--mode snow --frames 1"), 0);
}

} // namespace
} // namespace tambrel
