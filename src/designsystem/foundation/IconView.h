#pragma once

#include "designsystem/foundation/Icons.h"

#include <QAbstractButton>
#include <QColor>
#include <QWidget>

#include <optional>

namespace brelta::designsystem {

// One icon in a fixed square of its size, tinted with `color` (Gray100 unless set).
class IconView : public QWidget
{
    Q_OBJECT

public:
    IconView(IconName name, IconSize size, QWidget *parent = nullptr);

    IconName iconName() const { return m_name; }
    void setIconName(IconName name);
    IconSize iconSize() const { return m_size; }
    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    IconName m_name;
    IconSize m_size;
    QColor m_color;
};

// A round button filled with `fillColor`, holding a 16-pixel icon whatever its own diameter. Only the
// circle takes presses; `clicked` fires once per press released over it, or per Space while focused.
class IconButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Size { Large = 40, Medium = 32 };
    static std::optional<Size> sizeFromPoints(double points);

    IconButton(IconName name, Size size, const QColor &fillColor, QWidget *parent = nullptr);

    IconName iconName() const { return m_name; }
    Size buttonSize() const { return m_size; }
    QColor fillColor() const { return m_fill; }
    void setFillColor(const QColor &color);
    void setIconColor(const QColor &color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    IconName m_name;
    Size m_size;
    QColor m_fill;
    QColor m_iconColor;
    bool m_showFocus = false;
};

} // namespace brelta::designsystem
