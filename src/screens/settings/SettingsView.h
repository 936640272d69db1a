#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace brelta::platform {
class SettingsStore;
}

namespace brelta::screens {

// The content of the separate settings window: the signed-in user, this build's version and a button that
// opens the recordings folder in the file manager. Plain Qt widgets: it is a desktop window, not a popover.
class SettingsView : public QWidget
{
    Q_OBJECT

public:
    struct Dependencies
    {
        // Read for "username"; the user line follows its changes.
        platform::SettingsStore *settings = nullptr;
        // The recordings folder, created when missing (recording::recordingsDirectory in the program).
        std::function<QString()> recordingsFolder;
        // Shows a folder in the file manager; empty: FileManager1.ShowFolders on the session bus, else
        // QDesktopServices::openUrl.
        std::function<void(const QString &)> showFolder;
    };

    explicit SettingsView(Dependencies dependencies, QWidget *parent = nullptr);

    QLabel *userLine() const { return m_user; }
    QLabel *versionLine() const { return m_version; }
    QPushButton *viewAudioFilesButton() const { return m_viewFiles; }

    // "version: 2.1.0 (57)", with the warning sign for a value the build left empty.
    static QString versionText();
    // Asks the desktop's file manager to show `folder`; falls back to opening it as a URL.
    static void showFolderInFileManager(const QString &folder);

private:
    void refreshUser();
    void viewAudioFiles();

    Dependencies m_deps;
    QLabel *m_user;
    QLabel *m_version;
    QPushButton *m_viewFiles;
};

} // namespace brelta::screens
