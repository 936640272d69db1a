#pragma once

#include <QColor>
#include <QWidget>

namespace brelta::calendar {

// A box of the meetings panel: its children on a colour, in a rounded rectangle.
class Surface : public QWidget
{
    Q_OBJECT

public:
    Surface(const QColor &color, qreal radius, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
    qreal m_radius;
};

} // namespace brelta::calendar
