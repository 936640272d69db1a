#pragma once

#include <QFont>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QTextLayout>

#include <memory>

namespace brelta::designsystem {

// Word-wrapped text with a fixed extra space between lines: the one layout both the text views and the
// text measurement use, so a measured box matches what is drawn.
class TextLayout
{
public:
    // `maxHeight` < 0: no limit. Otherwise lines that would start below it are not laid out. Each line is
    // aligned within `wrapWidth` as `alignment` says.
    TextLayout(const QString &text, const QFont &font, qreal wrapWidth, qreal lineSpacing, qreal maxHeight = -1,
               Qt::Alignment alignment = Qt::AlignLeft);

    // Width of the widest line and height from the first line's top to the last line's bottom.
    QSizeF size() const { return m_size; }
    int lineCount() const { return m_lineCount; }

    void draw(QPainter *painter, const QPointF &origin) const;

private:
    std::unique_ptr<QTextLayout> m_layout;
    QSizeF m_size;
    int m_lineCount = 0;
};

} // namespace brelta::designsystem
