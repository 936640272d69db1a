#pragma once

#include "designsystem/components/KitButton.h"
#include "designsystem/components/Transition.h"

namespace brelta::designsystem {

// The kit's on/off switch: an optional title on the leading side and a 36 × 20 track with a sliding knob
// on the trailing side. Only the track reacts: a press on it first emits aboutToToggle() with the value
// it is about to take, while isChecked() still reads the old one, then flips the value (toggled()),
// sliding the knob and fading the track over 0.15 s. setChecked() from the caller shows at once. While
// disabled the track is drawn at 40 % and ignores presses.
class BrandToggle : public KitButton
{
    Q_OBJECT

public:
    static constexpr QSize trackSize{36, 20};

    explicit BrandToggle(const QString &title = {}, bool on = false, QWidget *parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString &title);

    // Where the knob is on its way from off (0) to on (1).
    qreal knobPosition() const { return m_knob.value(); }
    bool isAnimating() const { return m_knob.isRunning(); }
    // The track's rectangle: at the trailing edge, centred vertically.
    QRect trackRect() const;

    QAccessible::Role accessibleRole() const override { return QAccessible::CheckBox; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void aboutToToggle(bool newValue);

protected:
    void nextCheckState() override;
    void checkStateSet() override;
    bool hitButton(const QPoint &pos) const override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
    Transition m_knob;
};

} // namespace brelta::designsystem
