// SPDX-License-Identifier: MIT
#include "app/qt/saved_note.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

namespace tambrel {

namespace {
constexpr int kShownMs = 8000;
constexpr Qt::WindowFlags kNoteFlags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus;

// Just under `top` (the window's frame, or a note under it), or over the
// screen's bottom where that is off the screen.
void placeUnder(QWidget* note, const QWidget* window, int top)
{
    QPoint at(window->frameGeometry().left(), top + 4);
    if (const QScreen* s = window->screen()) {
        const QRect work = s->availableGeometry();
        at.setX(std::clamp(at.x(), work.left(), std::max(work.left(), work.right() - note->width())));
        at.setY(std::min(at.y(), work.bottom() - note->height()));
    }
    note->move(at);
}
} // namespace

HintLine::HintLine(QWidget* window) : QFrame(window, kNoteFlags), m_window(window)
{
    setWindowTitle(QStringLiteral("Hint"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    m_text = new QLabel(this);
    row->addWidget(m_text, 1);
}

void HintLine::say(const QString& words)
{
    if (words == m_text->text()) return follow();
    m_text->setText(words);
    adjustSize();
    follow();
}

QString HintLine::words() const { return isVisible() ? m_text->text() : QString(); }

void HintLine::follow()
{
    const bool wanted = !m_text->text().isEmpty() && m_window->isVisible() && !m_window->isMinimized();
    if (wanted) placeUnder(this, m_window, m_window->frameGeometry().bottom());
    if (wanted != isVisible()) setVisible(wanted);
}

SavedNote::SavedNote(QWidget* window, const HintLine* above) : QFrame(window, kNoteFlags), m_window(window), m_above(above)
{
    setWindowTitle(QStringLiteral("Saved"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 6, 6);
    m_text = new QLabel(this);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* show = new QPushButton(QStringLiteral("Show in Folder"), this);
    show->setToolTip(QStringLiteral("Open the folder the file was saved in"));
    auto* close = new QPushButton(QStringLiteral("×"), this);
    close->setAccessibleName(QStringLiteral("Close the note"));
    close->setFixedWidth(close->sizeHint().height());
    row->addWidget(m_text, 1);
    row->addWidget(show);
    row->addWidget(close);
    connect(show, &QPushButton::clicked, this, [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_folder)); });
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    m_hide.setSingleShot(true);
    connect(&m_hide, &QTimer::timeout, this, &QWidget::hide);
}

void SavedNote::tell(const QString& what, const QString& path)
{
    const QFileInfo file(path);
    m_folder = file.absolutePath();
    m_text->setText(QStringLiteral("%1 saved as “%2” in %3").arg(what, file.fileName(), QDir::toNativeSeparators(m_folder)));
    adjustSize();
    placeUnder(this, m_window, m_above && m_above->isVisible() ? m_above->frameGeometry().bottom() : m_window->frameGeometry().bottom());
    show();
    raise();
    m_hide.start(kShownMs);
}

} // namespace tambrel
