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
}

SavedNote::SavedNote(QWidget* window)
    : QFrame(window, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), m_window(window)
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
    // Just under the window's frame, or over the screen's bottom where that
    // is off the screen.
    const QRect frame = m_window->frameGeometry();
    QPoint at(frame.left(), frame.bottom() + 4);
    if (const QScreen* s = m_window->screen()) {
        const QRect work = s->availableGeometry();
        at.setX(std::clamp(at.x(), work.left(), std::max(work.left(), work.right() - width())));
        at.setY(std::min(at.y(), work.bottom() - height()));
    }
    move(at);
    show();
    raise();
    m_hide.start(kShownMs);
}

} // namespace tambrel
