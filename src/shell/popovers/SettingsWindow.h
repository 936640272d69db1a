#pragma once

#include <QWidget>

namespace brelta::shell {

// The settings window: 480 x 320, titled "Brelta". Built hidden at launch; nothing in the program opens it
// yet, the settings live in the main popover.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsWindow(QWidget *parent = nullptr);
};

} // namespace brelta::shell
