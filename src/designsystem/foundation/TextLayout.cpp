#include "designsystem/foundation/TextLayout.h"

#include <QPainter>
#include <QTextOption>

namespace brelta::designsystem {

TextLayout::TextLayout(const QString &text, const QFont &font, qreal wrapWidth, qreal lineSpacing, qreal maxHeight,
                       Qt::Alignment alignment)
{
    QString laidOut = text;
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    m_layout = std::make_unique<QTextLayout>(laidOut, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setAlignment(alignment);
    m_layout->setTextOption(option);
    m_layout->setCacheEnabled(true);
    m_layout->beginLayout();
    qreal y = 0;
    qreal widest = 0;
    qreal bottom = 0;
    while (true) {
        if (m_lineCount > 0 && maxHeight >= 0 && y > maxHeight)
            break;
        QTextLine line = m_layout->createLine();
        if (!line.isValid())
            break;
        line.setLeadingIncluded(true);
        line.setLineWidth(wrapWidth);
        line.setPosition(QPointF(0, y));
        widest = std::max(widest, line.naturalTextWidth());
        bottom = y + line.height();
        y = bottom + lineSpacing;
        ++m_lineCount;
    }
    m_layout->endLayout();
    m_size = QSizeF(widest, bottom);
}

void TextLayout::draw(QPainter *painter, const QPointF &origin) const
{
    m_layout->draw(painter, origin);
}

} // namespace brelta::designsystem
