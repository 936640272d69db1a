#pragma once

#include <QColor>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

class QPainter;

namespace brelta::designsystem {

// The turning of the kit's spinner: drives repaints of its widget while it is wanted and the widget is
// shown, and stops as soon as either ends, so a spinner in a hidden popover costs no wake-ups.
class Spinner : public QObject
{
    Q_OBJECT

public:
    // The indicator's own diameter; other spinners are this one scaled.
    static constexpr int naturalDiameter = 32;

    explicit Spinner(QWidget *host);

    bool isActive() const { return m_active; }
    void setActive(bool active);
    // Turning right now: active and shown.
    bool isRunning() const { return m_animation.state() == QAbstractAnimation::Running; }

    // Where the turn is, from 0 to 1 (one turn a second).
    qreal phase() const { return m_phase; }

    // A faint ring with a bright arc at `phase`, `diameter` across, centred on `centre`.
    static void paint(QPainter &painter, const QPointF &centre, qreal diameter, const QColor &color, qreal phase);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sync();

    QPointer<QWidget> m_host;
    QVariantAnimation m_animation;
    qreal m_phase = 0;
    bool m_active = false;
    bool m_shown;
};

// The kit's loading indicator: a Gray100 spinner at its natural size.
class LoaderView : public QWidget
{
    Q_OBJECT

public:
    explicit LoaderView(QWidget *parent = nullptr);

    bool isSpinning() const { return m_spinner.isRunning(); }
    QSize sizeHint() const override { return QSize(Spinner::naturalDiameter, Spinner::naturalDiameter); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Spinner m_spinner;
};

} // namespace brelta::designsystem
