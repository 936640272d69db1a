#pragma once

#include <QWidget>

namespace brelta::shell {

// The settings window: 480 x 320, titled "Brelta". Built hidden at launch; nothing in the program opens it,
// the settings a user works with live in the main popover.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    // Takes ownership of `content`; without one the window holds a placeholder.
    explicit SettingsWindow(QWidget *content = nullptr, QWidget *parent = nullptr);
};

} // namespace brelta::shell
