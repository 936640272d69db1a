#pragma once

#include "platform/Clock.h"
#include "platform/desktop/PopoverWindow.h"
#include "shell/popovers/PopoverTable.h"

#include <QEasingCurve>
#include <QObject>
#include <QVariantAnimation>

#include <array>
#include <chrono>
#include <memory>

namespace brelta::shell {

// The eight popover windows, built once and kept for the process, with the timed closes of the
// recording popovers. Each show of a timed popover starts its close afresh, so a popover shown again
// stays its full time.
class Popovers : public QObject
{
    Q_OBJECT

public:
    explicit Popovers(platform::Clock *clock, QObject *parent = nullptr);
    ~Popovers() override;

    platform::desktop::PopoverWindow *window(PopoverKind kind) const;
    bool isShown(PopoverKind kind) const;

    void show(PopoverKind kind, const platform::desktop::PopoverAnchor &anchor);
    void close(PopoverKind kind);

    void setRoot(PopoverKind kind, QWidget *root);
    void setContentSize(PopoverKind kind, const QSize &size);
    // Grows or shrinks the content to `size` along `easing` over `duration`; zero sets it at once.
    void resizeContent(PopoverKind kind, const QSize &size, std::chrono::milliseconds duration,
                       const QEasingCurve &easing);

signals:
    // A transient popover closed itself.
    void dismissed(brelta::shell::PopoverKind kind, brelta::platform::desktop::PopoverWindow::DismissReason reason);

private:
    struct Entry
    {
        std::unique_ptr<platform::desktop::PopoverWindow> window;
        std::unique_ptr<platform::Timer> autoClose;
        std::unique_ptr<QVariantAnimation> resize;
    };

    Entry &entry(PopoverKind kind) { return m_entries[static_cast<std::size_t>(kind)]; }
    const Entry &entry(PopoverKind kind) const { return m_entries[static_cast<std::size_t>(kind)]; }

    std::array<Entry, kAllPopoverKinds.size()> m_entries;
};

} // namespace brelta::shell
