#pragma once

#include "designsystem/foundation/Typography.h"

#include <QColor>
#include <QWidget>

namespace brelta::designsystem {

// A read-only text in one of the kit's styles: word-wrapped, with the kit's tracking and line spacing.
// Takes the width its layout gives it and asks for the height the text needs at that width.
class TextView : public QWidget
{
    Q_OBJECT

public:
    QString text() const { return m_text; }
    void setText(const QString &text);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    // How each line sits in the view's width: leading unless set.
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    TextView(const QString &text, const QFont &font, const QColor &color, QWidget *parent);
    void setTextFont(const QFont &font);
    void paintEvent(QPaintEvent *event) override;

private:
    QSizeF laidOutSize(qreal width) const;

    QString m_text;
    QColor m_color;
    Qt::Alignment m_alignment = Qt::AlignLeft;
};

// Heading text in the kit's heading face.
class HeadingView : public TextView
{
    Q_OBJECT

public:
    HeadingView(const QString &text, HeadingSize size, const QColor &color, QWidget *parent = nullptr);
    HeadingSize headingSize() const { return m_size; }
    void setHeadingSize(HeadingSize size);

private:
    HeadingSize m_size;
};

// Body text. The weight is chosen once, when the view is made.
class BodyView : public TextView
{
    Q_OBJECT

public:
    BodyView(const QString &text, BodySize size, BodyWeight weight, const QColor &color, QWidget *parent = nullptr);
    BodySize bodySize() const { return m_size; }
    void setBodySize(BodySize size);
    BodyWeight weight() const { return m_weight; }

private:
    BodySize m_size;
    const BodyWeight m_weight;
};

} // namespace brelta::designsystem
