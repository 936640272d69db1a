#include "designsystem/components/KitAccessibility.h"

#include "designsystem/components/KitButton.h"
#include "designsystem/components/LoaderView.h"
#include "designsystem/components/PopupPanel.h"

#include <QAccessibleWidget>

namespace brelta::designsystem {

namespace {

class KitButtonAccessible : public QAccessibleWidget
{
public:
    explicit KitButtonAccessible(KitButton *button) : QAccessibleWidget(button, button->accessibleRole()) {}

    KitButton *button() const { return static_cast<KitButton *>(widget()); }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (button()->isCheckable()) {
            state.checkable = true;
            state.checked = button()->isChecked();
        }
        if (button()->isDown())
            state.pressed = true;
        return state;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return button()->accessibleValue();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (widget()->isEnabled())
            names << (button()->isCheckable() ? toggleAction() : pressAction());
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction() || actionName == toggleAction()) {
            if (widget()->isEnabled())
                button()->click();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }
};

// The loader tells that something is under way.
class LoaderAccessible : public QAccessibleWidget
{
public:
    explicit LoaderAccessible(QWidget *loader) : QAccessibleWidget(loader, QAccessible::ProgressBar) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.busy = true;
        return state;
    }
};

QAccessibleInterface *kitAccessibleFactory(const QString &, QObject *object)
{
    if (auto *button = qobject_cast<KitButton *>(object))
        return new KitButtonAccessible(button);
    if (auto *panel = qobject_cast<PopupPanel *>(object))
        return new QAccessibleWidget(panel, panel->accessibleRole());
    if (auto *loader = qobject_cast<LoaderView *>(object))
        return new LoaderAccessible(loader);
    return nullptr;
}

} // namespace

void installKitAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(kitAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace brelta::designsystem
