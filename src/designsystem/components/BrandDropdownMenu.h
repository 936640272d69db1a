#pragma once

#include "designsystem/components/KitButton.h"
#include "designsystem/components/PopupPanel.h"
#include "designsystem/components/Transition.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

namespace brelta::designsystem {

// One row of a dropdown list: a title cut to one line, highlighted while the pointer is over it or it
// has keyboard focus.
class DropDownMenuItem : public KitButton
{
    Q_OBJECT

public:
    explicit DropDownMenuItem(const QString &title, QWidget *parent = nullptr);

    QString title() const { return m_title; }
    qreal highlight() const { return m_highlight.value(); }

    QAccessible::Role accessibleRole() const override { return QAccessible::ListItem; }
    QSize sizeHint() const override;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void updateHighlight();

    QString m_title;
    Transition m_highlight;
    bool m_hovered = false;
};

// The open list of a dropdown: a row per title on BrandDarkPurple, 4 px around them.
class DropdownList : public PopupPanel
{
    Q_OBJECT

public:
    explicit DropdownList(QWidget *owner);

    void setTitles(const QStringList &titles);
    QList<DropDownMenuItem *> rows() const { return m_rows; }

    // Opens 4 px below `field`, as wide as it.
    void openBelow(QWidget *field);

    QAccessible::Role accessibleRole() const override { return QAccessible::List; }

signals:
    void rowChosen(int index);

private:
    QList<DropDownMenuItem *> m_rows;
};

// A choice of one element among several. Closed, it is a rounded field with the chosen element's title
// and a chevron; a press opens the list of all titles just below it, over whatever follows it in the
// layout, and choosing a row emits itemChosen() and closes the list. It knows titles and indices only:
// DropdownChoice<T> binds it to the caller's elements.
class BrandDropdownMenu : public KitButton
{
    Q_OBJECT

public:
    explicit BrandDropdownMenu(QWidget *parent = nullptr);

    QStringList itemTitles() const { return m_titles; }
    void setItemTitles(const QStringList &titles);

    // What the field shows: the title of the caller's current value, which need not be in the list.
    // `index` is that value's row (or -1), where the keyboard starts when the list opens.
    QString selectedTitle() const { return m_selectedTitle; }
    int selectedIndex() const { return m_selectedIndex; }
    void setSelection(int index, const QString &title);

    bool isExpanded() const { return m_list->isOpen(); }
    // Opens or closes the list; the list opens only while the field is shown.
    void setExpanded(bool expanded);
    DropdownList *list() const { return m_list; }
    // Where the chevron and the border are on their way from closed (0) to open (1).
    qreal openProgress() const { return m_open.value(); }

    QAccessible::Role accessibleRole() const override { return QAccessible::ComboBox; }
    QString accessibleValue() const override { return m_selectedTitle; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void itemChosen(int index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList m_titles;
    QString m_selectedTitle;
    int m_selectedIndex = -1;
    DropdownList *m_list;
    Transition m_open;
    bool m_openedByKeyboard = false;
};

// Binds a BrandDropdownMenu to the caller's elements: keeps the selected element, shows its title in the
// field, and on each choice first stores the element, then tells onItemSelected (also when the element
// was already selected).
template<typename T>
class DropdownChoice
{
public:
    DropdownChoice(BrandDropdownMenu *menu, QList<T> data, T selected, std::function<QString(const T &)> itemTitle,
                   std::function<void(const T &)> onItemSelected = {})
        : m_state(std::make_shared<State>(
            State{menu, std::move(data), std::move(selected), std::move(itemTitle), std::move(onItemSelected)}))
    {
        QObject::connect(menu, &BrandDropdownMenu::itemChosen, menu, [state = m_state](int index) {
            if (index < 0 || index >= state->data.size())
                return;
            const T chosen = state->data.at(index);
            state->selected = chosen;
            state->show();
            if (state->onItemSelected)
                state->onItemSelected(chosen);
        });
        m_state->showAll();
    }

    const T &selected() const { return m_state->selected; }
    // The caller's value changed: the field follows.
    void setSelected(const T &item)
    {
        m_state->selected = item;
        m_state->show();
    }

    const QList<T> &data() const { return m_state->data; }
    void setData(QList<T> data)
    {
        m_state->data = std::move(data);
        m_state->showAll();
    }

private:
    struct State
    {
        QPointer<BrandDropdownMenu> menu;
        QList<T> data;
        T selected;
        std::function<QString(const T &)> itemTitle;
        std::function<void(const T &)> onItemSelected;

        void show() const
        {
            if (menu)
                menu->setSelection(int(data.indexOf(selected)), itemTitle(selected));
        }
        void showAll() const
        {
            if (!menu)
                return;
            QStringList titles;
            for (const T &item : data)
                titles << itemTitle(item);
            menu->setItemTitles(titles);
            show();
        }
    };

    std::shared_ptr<State> m_state;
};

} // namespace brelta::designsystem
