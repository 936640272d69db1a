#include "shell/popovers/Popovers.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPopovers, "brelta.shell.Popovers")

namespace brelta::shell {

Popovers::Popovers(platform::Clock *clock, QObject *parent) : QObject(parent)
{
    for (const PopoverKind kind : kAllPopoverKinds) {
        const PopoverSetup &setup = popoverSetup(kind);
        Entry &e = entry(kind);
        e.window = std::make_unique<platform::desktop::PopoverWindow>(setup.behaviour);
        e.window->setObjectName(QString::fromLatin1(setup.name.data(), qsizetype(setup.name.size()))
                                + QStringLiteral("Popover"));
        e.window->setContentSize(setup.size);
        connect(e.window.get(), &platform::desktop::PopoverWindow::dismissed, this,
                [this, kind](platform::desktop::PopoverWindow::DismissReason reason) { emit dismissed(kind, reason); });
        if (setup.autoClose) {
            e.autoClose = clock->createTimer();
            connect(e.autoClose.get(), &platform::Timer::timeout, this, [this, kind] {
                if (isShown(kind)) {
                    qCDebug(lcPopovers) << "closing" << popoverSetup(kind).name.data() << "after its time";
                    entry(kind).window->close();
                }
            });
        }
    }
}

Popovers::~Popovers() = default;

platform::desktop::PopoverWindow *Popovers::window(PopoverKind kind) const
{
    return entry(kind).window.get();
}

bool Popovers::isShown(PopoverKind kind) const
{
    return entry(kind).window->isVisible();
}

void Popovers::show(PopoverKind kind, const platform::desktop::PopoverAnchor &anchor)
{
    Entry &e = entry(kind);
    qCDebug(lcPopovers) << "showing the" << popoverSetup(kind).name.data() << "popover";
    e.window->showAt(anchor);
    if (e.autoClose)
        e.autoClose->start(*popoverSetup(kind).autoClose, platform::Timer::Mode::SingleShot);
}

void Popovers::close(PopoverKind kind)
{
    Entry &e = entry(kind);
    if (e.autoClose)
        e.autoClose->stop();
    e.window->close();
}

void Popovers::setRoot(PopoverKind kind, QWidget *root)
{
    entry(kind).window->setRoot(root);
}

void Popovers::setContentSize(PopoverKind kind, const QSize &size)
{
    Entry &e = entry(kind);
    // A size set outright ends a resize still under way, which would otherwise overwrite it.
    if (e.resize)
        e.resize->stop();
    e.window->setContentSize(size);
}

void Popovers::resizeContent(PopoverKind kind, const QSize &size, std::chrono::milliseconds duration,
                             const QEasingCurve &easing)
{
    Entry &e = entry(kind);
    // A hidden popover has nothing to show on the way.
    if (duration.count() <= 0 || !e.window->isVisible() || e.window->contentSize() == size) {
        setContentSize(kind, size);
        return;
    }
    if (!e.resize) {
        e.resize = std::make_unique<QVariantAnimation>();
        platform::desktop::PopoverWindow *window = e.window.get();
        connect(e.resize.get(), &QVariantAnimation::valueChanged, window,
                [window](const QVariant &value) { window->setContentSize(value.toSize()); });
    }
    e.resize->stop();
    e.resize->setStartValue(e.window->contentSize());
    e.resize->setEndValue(size);
    e.resize->setDuration(int(duration.count()));
    e.resize->setEasingCurve(easing);
    e.resize->start();
}

} // namespace brelta::shell
