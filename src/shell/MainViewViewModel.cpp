#include "shell/MainViewViewModel.h"

#include "shell/PopoverSizes.h"

#include <QPointF>

#include <utility>

namespace brelta::shell {

MainViewViewModel::MainViewViewModel(Resize resize, QObject *parent) : QObject(parent), m_resize(std::move(resize)) {}

QSize MainViewViewModel::popoverSize(MainViewMode mode)
{
    switch (mode) {
    case MainViewMode::Recording:
        return {sizes::kMainPopoverWidth, sizes::kMainPopoverRecordingHeight};
    case MainViewMode::Settings:
        return {sizes::kMainPopoverWidth, sizes::kMainPopoverSettingsHeight};
    case MainViewMode::Notifications:
        return {sizes::kMainPopoverWidth, sizes::kMainPopoverNotificationsHeight};
    case MainViewMode::Calendar:
        return {sizes::kMainPopoverWidth, sizes::kMainPopoverCalendarHeight};
    }
    return {};
}

QEasingCurve MainViewViewModel::easeInOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

void MainViewViewModel::switchMode(MainViewMode mode, bool animated)
{
    const std::chrono::milliseconds duration = animated ? kAnimationDuration : std::chrono::milliseconds(0);
    if (m_resize)
        m_resize(popoverSize(mode), duration);
    m_mode = mode;
    emit currentModeChanged(mode, animated);
}

void MainViewViewModel::switchToPanel(RoutePanel panel)
{
    switchMode(panel == RoutePanel::Settings ? MainViewMode::Settings : MainViewMode::Calendar, false);
}

} // namespace brelta::shell
