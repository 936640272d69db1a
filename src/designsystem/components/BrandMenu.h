#pragma once

#include "designsystem/components/KitButton.h"
#include "designsystem/components/PopupPanel.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/Icons.h"

#include <functional>
#include <optional>

namespace brelta::designsystem {

// One command of a menu: a title at the leading edge and, optionally, a small icon at the trailing end.
// Pressing it emits clicked() and runs its action.
class BrandMenuItem : public KitButton
{
    Q_OBJECT

public:
    BrandMenuItem(const QString &title, std::optional<IconName> icon, std::function<void()> action,
                  QWidget *parent = nullptr);

    QString title() const { return m_title; }
    std::optional<IconName> icon() const { return m_icon; }

    QAccessible::Role accessibleRole() const override { return QAccessible::MenuItem; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
    std::optional<IconName> m_icon;
};

// The panel of a menu: rows stacked without spacing on Gray800 with 4 px around them. A press that ends
// on the panel, on a row or beside it, closes it (after the row's action).
class BrandMenu : public PopupPanel
{
    Q_OBJECT

public:
    explicit BrandMenu(QWidget *owner);

    BrandMenuItem *addItem(const QString &title, std::optional<IconName> icon, std::function<void()> action);
    // Any row; a button row closes the panel when clicked.
    void addRow(QWidget *row);

    // Opens below `button`, the panel's trailing edge on the button's trailing edge.
    void openBelow(QWidget *button);

    QAccessible::Role accessibleRole() const override { return QAccessible::PopupMenu; }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The overflow menu: a round "more" button that opens and closes its panel just below it.
class BrandMenuButton : public IconButton
{
    Q_OBJECT

public:
    explicit BrandMenuButton(QWidget *parent = nullptr);

    BrandMenu *menu() const { return m_menu; }
    BrandMenuItem *addItem(const QString &title, std::optional<IconName> icon, std::function<void()> action)
    {
        return m_menu->addItem(title, icon, std::move(action));
    }

    bool isMenuVisible() const { return m_menu->isOpen(); }
    void setMenuVisible(bool visible);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    BrandMenu *m_menu;
    bool m_openedByKeyboard = false;
};

} // namespace brelta::designsystem
