#include "designsystem/components/KitPainting.h"

#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/TextLayout.h"
#include "designsystem/foundation/Typography.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace brelta::designsystem::kit {

namespace {
// Wide enough that one line never wraps.
constexpr qreal unboundedWidth = 1e6;

QString oneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return line;
}
} // namespace

QSizeF lineSize(const QString &text, const QFont &font)
{
    return TextLayout(oneLine(text), font, unboundedWidth, Typography::drawnLineSpacing).size();
}

void drawLine(QPainter &painter, const QRectF &area, const QString &text, const QFont &font, const QColor &color,
              Qt::Alignment alignment)
{
    QString line = oneLine(text);
    QSizeF size = lineSize(line, font);
    if (size.width() > area.width()) {
        line = QFontMetricsF(font).elidedText(line, Qt::ElideRight, area.width());
        size = lineSize(line, font);
    }
    qreal x = area.left();
    const Qt::Alignment horizontal = QStyle::visualAlignment(painter.layoutDirection(), alignment);
    if (horizontal & Qt::AlignRight)
        x = area.right() - size.width();
    else if (horizontal & Qt::AlignHCenter)
        x = area.left() + (area.width() - size.width()) / 2;
    const qreal y = area.top() + (area.height() - size.height()) / 2;
    painter.save();
    painter.setPen(color);
    TextLayout(line, font, unboundedWidth, Typography::drawnLineSpacing).draw(&painter, QPointF(x, y));
    painter.restore();
}

QPainterPath roundedRect(const QRectF &rect, qreal radius)
{
    const qreal r = std::min({radius, rect.width() / 2, rect.height() / 2});
    QPainterPath path;
    path.addRoundedRect(rect, r, r);
    return path;
}

void drawFocusRing(QPainter &painter, const QRectF &rect, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Colors::gray100(), 1.5));
    painter.drawPath(roundedRect(rect.adjusted(0.75, 0.75, -0.75, -0.75), std::max<qreal>(0, radius - 0.75)));
    painter.restore();
}

} // namespace brelta::designsystem::kit
