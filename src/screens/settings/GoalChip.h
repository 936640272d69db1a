#pragma once

#include "designsystem/components/KitButton.h"

namespace brelta::screens {

// One coaching goal as a capsule that toggles on a click: the brand gradient while selected, a light
// overlay otherwise, half transparent and inert while disabled (the limit of goals is reached). A chip
// narrower than its title (the onboarding grid shares a row evenly) elides it and tells it in a tooltip.
class GoalChip : public designsystem::KitButton
{
    Q_OBJECT

public:
    // The settings panel's chips sit on cards and take the stronger overlay; the onboarding page's on the
    // bare background take the lighter one.
    enum class Style { Settings, Onboarding };

    GoalChip(const QString &title, Style style, QWidget *parent = nullptr);

    QString title() const { return m_title; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QString m_title;
    Style m_style;
    bool m_selected = false;
};

} // namespace brelta::screens
