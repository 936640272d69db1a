#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace brelta::designsystem {

// The folder that holds the kit's colours, icons and fonts. It is compiled into the kit as the Qt
// resource ":/designsystem", but an installed copy beside the application takes precedence, so a
// packager or designer can swap the assets without rebuilding.
class ResourceBundle
{
public:
    static constexpr auto bundleName = "designsystem";
    static constexpr auto fatalMessage = "unable to find bundle named DesignSystem_DesignSystem";

    // The bundle, found on first use and kept for the life of the process. Stops the process with
    // fatalMessage when no candidate holds one.
    static const QString &path();

    // Folders searched, in order, for a "designsystem" bundle: the application's resources folder
    // (<prefix>/share/brelta next to <prefix>/bin), the resource compiled into the kit, and the
    // application's own folder.
    static QStringList candidateFolders();

    // The first candidate whose "designsystem" sub-folder is a bundle (holds palette.csv); later
    // candidates are not probed. Empty candidates are skipped.
    static std::optional<QString> find(const QStringList &candidateFolders);

    // find(), or a fatal stop with fatalMessage.
    static QString require(const QStringList &candidateFolders);
};

} // namespace brelta::designsystem
