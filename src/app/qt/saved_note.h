// SPDX-License-Identifier: MIT
#pragma once
// A short note after a save, under the window (never over the canvas), for
// a few seconds: what was saved, and where, with a way to show it in its
// folder. No modal box: the window goes on.

#include <QFrame>
#include <QTimer>

class QLabel;

namespace tambrel {

class SavedNote : public QFrame {
    Q_OBJECT
public:
    explicit SavedNote(QWidget* window);
    // "Picture saved as NAME in FOLDER", for the file at `path`.
    void tell(const QString& what, const QString& path);

private:
    QWidget* m_window;
    QLabel* m_text;
    QString m_folder;
    QTimer m_hide;
};

} // namespace tambrel
