#pragma once

#include <QWidget>

namespace brelta::designsystem {

// The frame of a message card: the card's content at the notification popover's fixed width, as high as
// the content needs, on the dark background gradient. It draws no control of its own.
class NotificationWrapperView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int fixedWidth = 384;

    // Takes ownership of `content`.
    explicit NotificationWrapperView(QWidget *content, QWidget *parent = nullptr);

    QWidget *content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *m_content;
};

} // namespace brelta::designsystem
