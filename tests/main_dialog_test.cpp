// SPDX-License-Identifier: MIT
#include "app/qt/qt_app.h"
#include "app/qt/saved_note.h"
#include "app/session.h"
#include "modes/bouncy.h"
#include "modes/fireworks.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QClipboard>
#include <QMimeData>
#include <QCursor>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

namespace tambrel {
namespace {

struct Window : ::testing::Test {
    QtApp app{4321};
    MainDialog& dialog = app.dialog;

    void SetUp() override
    {
        app.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    void TearDown() override
    {
        dialog.close();
        app.program.finish();
    }
    QPushButton* button(int id) { return dialog.button(id); }
    int modeOn()
    {
        std::lock_guard lock(app.program.stateLock);
        return app.program.modeOn();
    }
    QImage shown() { return dialog.grab().toImage(); }
    // Puts the pointer over the canvas such that the modes read (x, y).
    void pointAt(int x, int y) { QCursor::setPos(dialog.mapToGlobal(QPoint(x + 5, y + 5))); }
    void clickCanvas(int x, int y)
    {
        pointAt(x, y);
        QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {}, QPoint(x + 5, y + 5));
    }
};

TEST_F(Window, LooksAsSpecifiedAtStart)
{
    EXPECT_EQ(dialog.windowTitle(), "Tambrel");
    EXPECT_EQ(dialog.size(), QSize(736, 530));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "not resizable";
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(dialog.parentWidget(), nullptr);
    EXPECT_EQ(dialog.canvasWidget()->geometry(), QRect(8, 8, 600, 512));
    for (int n = 0; n < 16; ++n) {
        const int id = 1002 + n;
        QPushButton* b = button(id);
        if (id == kEmptySlotId) {
            EXPECT_EQ(b, nullptr);
            continue;
        }
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->geometry(), QRect(624, 8 + 32 * n, 106, 24)) << id;
        EXPECT_TRUE(b->isEnabled());
        EXPECT_FALSE(b->isDefault());
        EXPECT_FALSE(b->autoDefault());
        EXPECT_EQ(b->focusPolicy(), Qt::StrongFocus);
        if (id <= 1015) {
            EXPECT_EQ(b->text().toStdString(), kModeTable[static_cast<size_t>(n)].offCaption);
        }
    }
    EXPECT_EQ(button(kClearScreenId)->text(), "Clear Screen");
    const QImage img = shown();
    EXPECT_EQ(img.pixelColor(10, 10), QColor(Qt::white)) << "the surface starts at client (10, 10)";
    EXPECT_EQ(img.pixelColor(605, 517), QColor(Qt::white));
    EXPECT_NE(img.pixelColor(8, 8), QColor(Qt::white)) << "the flat border";
    EXPECT_EQ(dialog.canvasWidget()->cursor().shape(), Qt::BlankCursor);
    EXPECT_EQ(button(1005)->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(Window, ButtonsSwitchModesCaptionsFontsAndTitles)
{
    QTest::mouseClick(button(1005), Qt::LeftButton);
    EXPECT_EQ(modeOn(), test::kFireworks);
    EXPECT_EQ(dialog.windowTitle(), "Tambrel: Fireworks animation");
    EXPECT_EQ(button(1005)->text(), "Turn Fireworks Off");
    EXPECT_TRUE(button(1005)->font().bold());
    QTest::mouseClick(button(1008), Qt::LeftButton);
    EXPECT_EQ(modeOn(), test::kSnow);
    EXPECT_EQ(button(1005)->text(), "Turn Fireworks On");
    EXPECT_FALSE(button(1005)->font().bold());
    QTest::mouseClick(button(1008), Qt::LeftButton);
    EXPECT_EQ(modeOn(), -1);
    EXPECT_EQ(dialog.windowTitle(), "Tambrel");
    // A double click on a mode button is two presses.
    QTest::mouseDClick(button(1003), Qt::LeftButton);
    EXPECT_EQ(modeOn(), -1);
}

// The keyboard as a dialog's: Enter and Space press the focused button,
// Escape does nothing, Enter with the canvas focused does nothing, Tab moves on.
TEST_F(Window, EnterAndSpacePressTheFocusedButtonEscapeDoesNothing)
{
    button(1009)->setFocus();
    QTest::keyClick(button(1009), Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(modeOn(), -1);
    QTest::keyClick(button(1009), Qt::Key_Return);
    EXPECT_EQ(modeOn(), test::kStars);
    QTest::keyClick(button(1009), Qt::Key_Enter);
    EXPECT_EQ(modeOn(), -1);
    QTest::keyClick(button(1009), Qt::Key_Space);
    EXPECT_EQ(modeOn(), test::kStars);
    dialog.canvasWidget()->setFocus();
    QTest::keyClick(dialog.canvasWidget(), Qt::Key_Return);
    EXPECT_EQ(modeOn(), test::kStars);
    button(1009)->setFocus();
    QTest::keyClick(button(1009), Qt::Key_Tab);
    EXPECT_EQ(dialog.focusWidget(), button(1010));
}

TEST_F(Window, CanvasClicksReachTheModeThatIsOnAndDoubleClicksTwice)
{
    QTest::mouseClick(button(1003), Qt::LeftButton);
    auto& ball = app.program.mode<BouncyMode>(test::kBouncy);
    double vy;
    {
        std::lock_guard lock(app.program.stateLock);
        vy = ball.s.ballVy;
    }
    pointAt(300, 200);
    QTest::mouseDClick(dialog.windowHandle(), Qt::LeftButton, {}, QPoint(305, 205));
    std::lock_guard lock(app.program.stateLock);
    // The thread may have added gravity meanwhile; the two kicks dominate.
    EXPECT_LT(ball.s.ballVy, vy - 5);
}

TEST_F(Window, ClearScreenWhitensAndKeepsTheMode)
{
    QTest::mouseClick(button(1011), Qt::LeftButton); // shade-bob: black canvas
    QTest::qWait(60);
    EXPECT_EQ(shown().pixelColor(50, 50), QColor(Qt::black));
    QTest::mouseClick(button(kClearScreenId), Qt::LeftButton);
    EXPECT_EQ(modeOn(), test::kShader);
    pointAt(-300, -300);
    QTest::qWait(30);
    EXPECT_EQ(shown().pixelColor(50, 50), QColor(Qt::white));
}

TEST_F(Window, CaptureShowsTheTopLeftOfTheScreen)
{
    QTest::mouseClick(button(1013), Qt::LeftButton);
    EXPECT_EQ(modeOn(), test::kCapture);
    EXPECT_EQ(button(1013)->text(), "Turn Capture Off");
}

// The capture takes the screen without the system clipboard: text and
// pictures the user copied are still there afterwards.
TEST_F(Window, CaptureLeavesTheUsersClipboardAsItWas)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("the user's words"));
    QTest::mouseClick(button(1013), Qt::LeftButton);
    EXPECT_EQ(modeOn(), test::kCapture);
    EXPECT_EQ(clipboard->text(), "the user's words");
    EXPECT_FALSE(clipboard->mimeData()->hasImage());

    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(QColor(12, 34, 56));
    clipboard->setImage(picture);
    QTest::mouseClick(button(1013), Qt::LeftButton); // off
    QTest::mouseClick(button(1013), Qt::LeftButton); // on again
    EXPECT_EQ(modeOn(), test::kCapture);
    EXPECT_EQ(clipboard->image().convertToFormat(QImage::Format_RGB32), picture);
}

// The line under the window stays while the canvas waits for the user:
// with no mode on, and with a mode that draws nothing before a click.
TEST_F(Window, TheHintLineStaysWhileTheCanvasWaits)
{
    auto said = [&](const QString& words) {
        return QTest::qWaitFor([&] { return dialog.findChild<HintLine*>()->words() == words; }, 5000);
    };
    const QString none = "No mode is on. Switch one on with the buttons.";
    EXPECT_TRUE(said(none));
    QTest::mouseClick(button(1015), Qt::LeftButton); // psyche
    EXPECT_TRUE(said("Click the canvas to start the rings: nothing shows before the first click."));
    clickCanvas(300, 200);
    EXPECT_TRUE(said(""));
    QTest::mouseClick(button(1015), Qt::LeftButton);
    EXPECT_TRUE(said(none));
    QTest::mouseClick(button(1005), Qt::LeftButton); // fireworks draw at once
    EXPECT_TRUE(said(""));
    dialog.showMinimized();
    QTest::mouseClick(button(1005), Qt::LeftButton);
    EXPECT_TRUE(said("")) << "no line for a minimized window";
}

// Played by itself, the window switches modes on its own (its hand's moves
// recorded as a person's), after the seconds a mode it was given; a real
// press takes over at once, and so does a key.
TEST_F(Window, PlaysByItselfUntilAPressOrAKeyTakesOver)
{
    dialog.playByItself(5, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return modeOn() >= 0; }, 5000)) << "no mode switched on by itself";
    const int first = modeOn();
    EXPECT_TRUE(QTest::qWaitFor([&] { return modeOn() >= 0 && modeOn() != first; }, 20000)) << "no next mode after a second";
    QTest::mouseClick(button(1005), Qt::LeftButton);
    EXPECT_FALSE(dialog.playing());
    EXPECT_EQ(modeOn(), test::kFireworks);
    dialog.playByItself(6);
    QTest::keyClick(button(1005), Qt::Key_Tab);
    EXPECT_FALSE(dialog.playing());
}

// A rebuild's 100 ms pause delays the animation, not the window: forty
// quick clicks used to hold the window for four seconds.
TEST_F(Window, ClickPausesLeaveTheWindowAnswering)
{
    QTest::mouseClick(button(1015), Qt::LeftButton);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 40; ++i) clickCanvas(300, 200);
    EXPECT_LT(clock.elapsed(), 2000) << "the window was held by the pauses";
    QTest::mouseClick(button(1003), Qt::LeftButton);
    EXPECT_EQ(modeOn(), test::kBouncy);
}

// A press that reaches the window while the capture waits for the screen (a
// posted click, a screen reader's press) waits its turn: never two modes on.
TEST_F(Window, APressDuringTheCaptureWaitsItsTurn)
{
    QMetaObject::invokeMethod(button(1005), "click", Qt::QueuedConnection);
    QTest::mouseClick(button(1013), Qt::LeftButton);
    QCoreApplication::processEvents();
    std::lock_guard lock(app.program.stateLock);
    EXPECT_EQ(app.program.modeOn(), test::kFireworks);
    EXPECT_FALSE(app.program.mode(test::kCapture).isOn);
    EXPECT_EQ(button(1013)->text(), "Turn Capture On");
    EXPECT_EQ(dialog.windowTitle(), "Tambrel: Fireworks animation");
}

// Answers the next modal dialog (a file dialog, a question) once it shows.
void answerNextDialog(std::function<void(QWidget*)> answer)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        poll->stop();
        poll->deleteLater();
        answer(modal);
    });
    poll->start(20);
}

// Types the file's path into a file dialog and presses its button, as a user would.
void typeFileName(QWidget* w, const QString& path)
{
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr) << "not a file dialog";
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(path);
    QTest::keyClick(name, Qt::Key_Return);
}

void chooseFile(const QString& path)
{
    answerNextDialog([path](QWidget* w) { typeFileName(w, path); });
}

QAction* menuEntry(MainDialog& dialog, const QString& text)
{
    for (QAction* a : dialog.canvasMenu()->actions())
        if (a->text() == text) return a;
    ADD_FAILURE() << "no menu entry " << text.toStdString();
    return nullptr;
}

// The canvas's menu: every entry with its own keys on every platform, and
// an About box that names the version and every one of them.
TEST_F(Window, TheMenuSaysItsKeysAndAboutSaysThemAll)
{
    const std::pair<const char*, QKeySequence> entries[] = {
        {"Save Picture…", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"Save Clip…", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {"Save Session…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {"Open Session…", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"About Tambrel…", QKeySequence(Qt::Key_F1)},
    };
    QString told;
    answerNextDialog([&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) told = box->text(), box->accept();
    });
    menuEntry(dialog, "About Tambrel…")->trigger();
    // Each button says what it does in its tooltip, each in its own words.
    std::set<QString> tips;
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->property(MainDialog::kControlIdProperty).isValid()) tips.insert(b->toolTip()); // the window's fifteen
    EXPECT_EQ(tips.size(), 15u);
    EXPECT_EQ(tips.count(QString()), 0u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !told.isEmpty(); }, 5000));
    EXPECT_TRUE(told.startsWith("Tambrel " TAMBREL_VERSION)) << told.toStdString();
    for (const auto& [text, keys] : entries) {
        EXPECT_EQ(menuEntry(dialog, text)->shortcut(), keys) << text;
        const QString name = QString::fromUtf8(text).remove(QStringLiteral("…"));
        EXPECT_TRUE(told.contains(name + ": " + keys.toString())) << "the About box does not say " << text;
    }
}

// Saving and opening sessions through the canvas's menu and the desktop's
// file dialogs: what is saved replays in the window to the same state; a
// file that is no session is refused with its reason and nothing changes;
// a session with a picture of the screen is saved only once the user agrees.
TEST_F(Window, SavesAndOpensSessionsThroughItsMenu)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("play.tambrel");
    QTest::mouseClick(button(1015), Qt::LeftButton);
    clickCanvas(200, 150);
    QTest::qWait(150);
    QTest::mouseClick(button(1012), Qt::LeftButton);
    clickCanvas(250, 250); // a cloud: still, to compare with
    chooseFile(file);
    menuEntry(dialog, "Save Session…")->trigger();
    Session saved;
    std::string error;
    ASSERT_TRUE(readSessionFile(file.toStdString(), saved, error)) << error;
    EXPECT_GT(saved.passes, 5u);
    const QImage before = shown();

    QTest::mouseClick(button(1003), Qt::LeftButton); // something else, then the session again
    chooseFile(file);
    menuEntry(dialog, "Open Session…")->trigger();
    EXPECT_TRUE(app.keeping.replaying());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !app.keeping.replaying(); }, 10000));
    EXPECT_EQ(dialog.windowTitle(), "Tambrel: Random fractal cloud painter");
    EXPECT_EQ(shown(), before) << "the replay ends where the run was saved";

    QFile junk(dir.filePath("junk.tambrel"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("junk") == 4);
    junk.close();
    QString told;
    answerNextDialog([&](QWidget* file) {
        answerNextDialog([&](QWidget* w) { // then the message
            if (auto* box = qobject_cast<QMessageBox*>(w)) told = box->text(), box->accept();
        });
        typeFileName(file, junk.fileName());
    });
    menuEntry(dialog, "Open Session…")->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !told.isEmpty(); }, 5000));
    EXPECT_TRUE(told.contains("not a Tambrel session")) << told.toStdString();
    EXPECT_EQ(dialog.windowTitle(), "Tambrel: Random fractal cloud painter") << "nothing changed";

    QTest::mouseClick(button(1013), Qt::LeftButton); // the capture: a picture of the screen
    QFile::remove(file);
    answerNextDialog([](QWidget* w) {
        EXPECT_NE(qobject_cast<QMessageBox*>(w), nullptr) << "no word of the picture before the file dialog";
        static_cast<QDialog*>(w)->reject(); // no, not with my screen in it
    });
    menuEntry(dialog, "Save Session…")->trigger();
    EXPECT_FALSE(QFile::exists(file));
}

TEST(WindowClose, ClosingWhileAnimatingNeverDeadlocks)
{
    for (int round = 0; round < 25; ++round) {
        QtApp app(static_cast<uint32_t>(round));
        app.show();
        QTest::mouseClick(app.dialog.button(1002 + round % 14), Qt::LeftButton);
        QTest::qWait(round % 5 * 7);
        app.dialog.close();
        EXPECT_TRUE(app.program.exitRequested.load());
        app.program.finish(); // returns: no deadlock between the paint and the join
    }
}

} // namespace
} // namespace tambrel
