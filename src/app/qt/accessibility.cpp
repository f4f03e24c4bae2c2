// SPDX-License-Identifier: MIT
#include "app/qt/accessibility.h"

#include "app/dialog_view.h"
#include "app/mode_table.h"
#include "app/qt/main_dialog.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPushButton>

namespace tambrel {

namespace {

// A mode button: a push button that is also a toggle, pressed through the
// screen reader's action as by a click.
class ModeButtonAccessible : public QAccessibleWidget {
public:
    explicit ModeButtonAccessible(QPushButton* b) : QAccessibleWidget(b, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) return button()->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = button()->property(MainDialog::kModeOnProperty).toBool();
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && button()->isEnabled()) button()->click();
    }

private:
    QPushButton* button() const { return static_cast<QPushButton*>(widget()); }
};

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (className == QLatin1String("tambrel::MainDialog"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Dialog); // named by its title
    if (auto* b = qobject_cast<ControlButton*>(object); b && className == QLatin1String("tambrel::ControlButton")) {
        const int id = b->property(MainDialog::kControlIdProperty).toInt();
        if (id >= kFirstModeButtonId && id < kFirstModeButtonId + kModeCount) return new ModeButtonAccessible(b);
    }
    return nullptr;
}

} // namespace

void installAccessibility() { QAccessible::installFactory(factory); }

} // namespace tambrel
