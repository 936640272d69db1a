#include "screens/settings/SettingsView.h"

#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/update/AppVersion.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QUrl>
#include <QUuid>
#include <QVBoxLayout>

namespace brelta::screens {

Q_LOGGING_CATEGORY(lcSettingsWindowView, "brelta.screens.SettingsView")

SettingsView::SettingsView(Dependencies dependencies, QWidget *parent)
    : QWidget(parent)
    , m_deps(std::move(dependencies))
    , m_user(new QLabel(this))
    , m_version(new QLabel(versionText(), this))
    , m_viewFiles(new QPushButton(tr("View audio files"), this))
{
    auto *heading = new QLabel(tr("Recorder"), this);
    QFont headline = heading->font();
    headline.setBold(true);
    heading->setFont(headline);
    m_user->setAlignment(Qt::AlignCenter);
    m_version->setAlignment(Qt::AlignCenter);
    m_user->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *recorder = new QVBoxLayout;
    recorder->setSpacing(16);
    recorder->addWidget(heading);
    recorder->addWidget(m_viewFiles, 0, Qt::AlignLeading);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);
    layout->addLayout(recorder);
    layout->addStretch(1);
    layout->addWidget(m_user);
    layout->addWidget(m_version);

    connect(m_viewFiles, &QPushButton::clicked, this, &SettingsView::viewAudioFiles);
    if (m_deps.settings)
        connect(m_deps.settings, &platform::SettingsStore::changed, this, [this](const QString &key) {
            if (key == platform::settings::kUsername.storedName())
                refreshUser();
        });
    refreshUser();
}

QString SettingsView::versionText()
{
    using platform::update::BundleInfoKey;
    using platform::update::bundleInfoString;
    return tr("version: %1 (%2)")
        .arg(bundleInfoString(BundleInfoKey::ShortVersion), bundleInfoString(BundleInfoKey::BuildNumber));
}

void SettingsView::refreshUser()
{
    const QString name = m_deps.settings ? m_deps.settings->value(platform::settings::kUsername) : QString();
    m_user->setText(tr("user: %1").arg(name));
}

void SettingsView::viewAudioFiles()
{
    QString folder;
    try {
        folder = m_deps.recordingsFolder ? m_deps.recordingsFolder() : QString();
    } catch (const std::exception &error) {
        qCWarning(lcSettingsWindowView) << "cannot open the recordings folder:" << error.what();
        return;
    }
    if (folder.isEmpty())
        return;
    if (m_deps.showFolder)
        m_deps.showFolder(folder);
    else
        showFolderInFileManager(folder);
}

void SettingsView::showFolderInFileManager(const QString &folder)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowFolders"));
    call << QStringList{QUrl::fromLocalFile(folder).toString()} << QString();
    // The answer only says whether a file manager took the request; without one on the bus the folder is
    // opened as a URL instead. A short timeout keeps a stuck file manager from holding the window long.
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qCInfo(lcSettingsWindowView) << "no file manager on the session bus:" << reply.errorName();
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    }
}

} // namespace brelta::screens
