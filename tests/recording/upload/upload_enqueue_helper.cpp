// Hands one recording over to the upload queue and is killed (SIGKILL) the moment enqueue() returns, as a
// crash or a power cut would end it. The crash test then starts a queue on the same settings and folder.
// Arguments: <settings file> <recordings folder> <recording> <backend port> <owner>
#include "backend/client/ApiClient.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/keyring/SecretStore.h"
#include "recording/upload/AudioUploadManager.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace brelta;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 6) {
        std::fputs("usage: upload_enqueue_helper <settings> <recordings folder> <recording> <port> <owner>\n", stderr);
        return 2;
    }
    const QStringList arguments = QCoreApplication::arguments();
    platform::SettingsStore settings(arguments[1]);
    platform::SecretStore secrets;
    backend::KeychainStore keychain(&secrets, QStringLiteral("com.brelta.test-upload-helper"));
    backend::ApiClient api(backend::BackendHosts::loopback(quint16(arguments[4].toUInt())), &keychain, &settings,
                           nullptr);
    platform::SystemClock clock;
    recording::AudioUploadManager manager({&api, &settings, nullptr, nullptr, &clock}, arguments[2]);

    const QDateTime end(QDate(2024, 3, 5), QTime(14, 30, 0), Qt::UTC);
    manager.enqueue({arguments[3], end.addSecs(-3), end, 3, recording::RecordingPurpose::Practice,
                     QMap<QString, QString>{{QStringLiteral("source"), QStringLiteral("helper")}}, arguments[5]});
    std::puts("stored");
    std::fflush(stdout);
    ::kill(::getpid(), SIGKILL);
    return 1; // not reached
}
