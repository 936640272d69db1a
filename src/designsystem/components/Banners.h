#pragma once

#include <QColor>
#include <QWidget>

#include <functional>

class QHBoxLayout;

namespace brelta::designsystem {

class BodyView;
class KitButton;

// A rounded strip that reports the outcome of an operation inside a screen. It spans the width it is
// offered, its text starts at the leading side and wraps, and it grows in height to fit.
class Banner : public QWidget
{
    Q_OBJECT

public:
    QString message() const;
    void setMessage(const QString &message);

protected:
    Banner(const QColor &background, qreal opacity, QWidget *leading, const QString &message, QWidget *parent);
    QHBoxLayout *row() const { return m_row; }
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_background;
    qreal m_opacity;
    QHBoxLayout *m_row;
    BodyView *m_message;
};

// A failure, with the error icon, on Negative40; with a retry action, "Try again" at the trailing edge.
class ErrorBanner : public Banner
{
    Q_OBJECT

public:
    explicit ErrorBanner(const QString &errorMessage, std::function<void()> onTryAgain = {}, QWidget *parent = nullptr);

    // The "Try again" button, or null when the banner has no retry action.
    KitButton *tryAgainButton() const { return m_tryAgain; }

private:
    KitButton *m_tryAgain = nullptr;
};

// A success, with a party popper, on Positive at 60 %.
class SuccessBanner : public Banner
{
    Q_OBJECT

public:
    explicit SuccessBanner(const QString &message, QWidget *parent = nullptr);
};

} // namespace brelta::designsystem
