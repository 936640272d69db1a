#pragma once

#include <QString>
#include <QWidget>

class QPainter;

namespace brelta::designsystem {
class BodyView;
class HeadingView;
} // namespace brelta::designsystem

namespace brelta::shell {

// The dark, rounded ground every popover's content stands on.
class PopoverSurface : public QWidget
{
    Q_OBJECT

public:
    explicit PopoverSurface(QWidget *parent = nullptr);

    // The ground itself, for contents that lay out their own children.
    static void paintGround(QPainter &painter, const QRect &rect, Qt::LayoutDirection direction);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// What a popover shows until its screen is built: its name and a line on what will be there.
class PlaceholderRoot : public PopoverSurface
{
    Q_OBJECT

public:
    PlaceholderRoot(const QString &title, const QString &note, QWidget *parent = nullptr);
};

// The alert popover's content: a title and a message, as plain text. A click on it asks to close it.
class AlertRoot : public PopoverSurface
{
    Q_OBJECT

public:
    AlertRoot(const QString &title, const QString &message, QWidget *parent = nullptr);

    QString title() const;
    QString message() const;

    static constexpr int kHorizontalPadding = 16;
    static constexpr int kVerticalPadding = 12;

    // The height these texts need in an alert `width` wide: 34 and the measured heights of the title
    // (bold, 14) and the message (regular, 12) at width - 52. An empty text takes no room.
    static qreal height(const QString &title, const QString &message, qreal width);
    // height() at the alert's measuring width, rounded up.
    static int heightFor(const QString &title, const QString &message);

signals:
    void tapped();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    designsystem::BodyView *m_title;
    designsystem::BodyView *m_message;
};

} // namespace brelta::shell
