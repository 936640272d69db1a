#pragma once

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QWidget>

namespace brelta::designsystem {

// Reports the size a view is laid out at each time it is shown (menus use it to place their panels).
// Later resizes while it stays visible are not reported.
class SizeCalculator : public QObject
{
    Q_OBJECT

public:
    explicit SizeCalculator(QWidget *view);

    // The size measured at the last show; empty before the first.
    QSize size() const { return m_size; }

signals:
    void sizeMeasured(QSize size);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void measure();

    QPointer<QWidget> m_view;
    QSize m_size;
};

// While active, a press anywhere in the application's windows outside `view` (and within the primary
// screen) emits `tappedOutside` once and is swallowed, so it closes a pop-up without also landing on
// whatever lay under it. Presses on the view itself reach it as usual.
class TapOutside : public QObject
{
    Q_OBJECT

public:
    explicit TapOutside(QWidget *view);
    ~TapOutside() override;

    bool isActive() const { return m_active; }
    void setActive(bool active);

signals:
    void tappedOutside();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_view;
    bool m_active = false;
};

// A view with a hint behind it, both placed by `alignment`; the hint shows while `setHintShown(true)`
// and keeps its room in the layout while hidden, so the stack is as large as the larger of the two.
class PlaceholderStack : public QWidget
{
    Q_OBJECT

public:
    PlaceholderStack(QWidget *view, QWidget *hint, Qt::Alignment alignment, QWidget *parent = nullptr);

    QWidget *view() const { return m_view; }
    QWidget *hint() const { return m_hint; }
    bool isHintShown() const { return m_hint->isVisibleTo(this); }
    void setHintShown(bool shown);

private:
    QWidget *m_view;
    QWidget *m_hint;
};

} // namespace brelta::designsystem
