#pragma once

#include "shell/routes/RouteSeams.h"

#include <QEasingCurve>
#include <QObject>
#include <QSize>

#include <chrono>
#include <functional>

namespace brelta::shell {

// The panels of the main popover.
enum class MainViewMode { Recording, Settings, Notifications, Calendar };

// Which panel the main popover shows, for the whole process. A change of panel goes through switchMode:
// the popover is resized first, then the panel changes, both over the same time. Links switch it too.
class MainViewViewModel : public QObject, public PanelSwitcher
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kAnimationDuration{250};

    // Resizes the main popover to `size` over `duration` (zero: at once).
    using Resize = std::function<void(QSize size, std::chrono::milliseconds duration)>;

    explicit MainViewViewModel(Resize resize, QObject *parent = nullptr);

    MainViewMode currentMode() const { return m_mode; }

    // Resizes the popover for `mode`, then shows its panel; eased over kAnimationDuration when `animated`.
    // Switching to the panel already shown still resizes and announces it.
    void switchMode(MainViewMode mode, bool animated);

    // A link's panel, shown at once.
    void switchToPanel(RoutePanel panel) override;

    // The popover's size for a panel.
    static QSize popoverSize(MainViewMode mode);
    // Ease-in-out: the cubic Bézier (0.42, 0, 0.58, 1).
    static QEasingCurve easeInOut();

signals:
    void currentModeChanged(brelta::shell::MainViewMode mode, bool animated);

private:
    Resize m_resize;
    MainViewMode m_mode = MainViewMode::Recording;
};

} // namespace brelta::shell
