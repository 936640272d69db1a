#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

namespace brelta::designsystem {

// Drawing pieces the components share, so a line of text or a rounded box looks the same in each.
namespace kit {

// The size one line of `text` takes in `font`, with the kit's tracking and line height (as a BodyView
// draws it). Line breaks count as spaces: a one-line control never grows a second line.
QSizeF lineSize(const QString &text, const QFont &font);

// One line of `text`, cut with "…" where it would pass `area`'s width, centred vertically in `area` and
// placed by the horizontal part of `alignment`. The text is drawn as written: no markup, no mnemonics.
void drawLine(QPainter &painter, const QRectF &area, const QString &text, const QFont &font, const QColor &color,
              Qt::Alignment alignment = Qt::AlignLeft);

// A rounded rectangle whose radius never passes half its shorter side, so radius 100 gives round ends.
QPainterPath roundedRect(const QRectF &rect, qreal radius);

// The ring a control shows while it has keyboard focus, drawn just inside `rect`.
void drawFocusRing(QPainter &painter, const QRectF &rect, qreal radius);

} // namespace kit

} // namespace brelta::designsystem
