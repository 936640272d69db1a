#pragma once

#include <QVariantAnimation>
#include <QWidget>

namespace brelta::calendar {

// A placeholder row of the meetings panel while the list loads: the shapes of a title, a time and a button,
// with a soft light band sweeping across from the left edge past the right every two seconds. The sweep
// runs only while the row is shown.
class SkeletonEventView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kSweepMs = 2000;

    explicit SkeletonEventView(QWidget *parent = nullptr);

    bool isAnimating() const { return m_sweep.state() == QAbstractAnimation::Running; }
    // The band's centre, from -25 to the width + 25.
    qreal bandPosition() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QVariantAnimation m_sweep;
};

} // namespace brelta::calendar
