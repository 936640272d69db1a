#include "shell/popovers/SettingsWindow.h"

#include "shell/PopoverSizes.h"
#include "shell/popovers/PlaceholderRoots.h"

#include <QVBoxLayout>

namespace brelta::shell {

SettingsWindow::SettingsWindow(QWidget *content, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Brelta"));
    resize(sizes::kSettingsWindowSize);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (!content)
        content = new PlaceholderRoot(QStringLiteral("Settings"), QStringLiteral("Brelta's settings."));
    layout->addWidget(content);
}

} // namespace brelta::shell
