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
    entry(kind).window->setContentSize(size);
}

} // namespace brelta::shell
