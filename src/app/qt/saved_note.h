// SPDX-License-Identifier: MIT
#pragma once
// The window's notes, under it (never over the canvas), neither taking the
// focus nor stopping the window: the line that says what to do when the
// canvas shows nothing yet, and a short note after a save.

#include <QFrame>
#include <QTimer>

class QLabel;

namespace tambrel {

// A line that stays while the canvas waits for the user: no mode on, or a
// mode that draws nothing before a click.
class HintLine : public QFrame {
    Q_OBJECT
public:
    explicit HintLine(QWidget* window);
    // Shows the words under the window while it is shown; "" hides them.
    void say(const QString& words);
    QString words() const;
    // Follows the window: moved, minimized, shown again.
    void follow();

private:
    QWidget* m_window;
    QLabel* m_text;
};

// What was saved, and where, with a way to show it in its folder; for a
// few seconds.
class SavedNote : public QFrame {
    Q_OBJECT
public:
    SavedNote(QWidget* window, const HintLine* above);
    // "Picture saved as NAME in FOLDER", for the file at `path`.
    void tell(const QString& what, const QString& path);

private:
    QWidget* m_window;
    const HintLine* m_above; // the note goes under the line where that shows
    QLabel* m_text;
    QString m_folder;
    QTimer m_hide;
};

} // namespace tambrel
