#pragma once

#include "devserver/AuthService.h"
#include "devserver/Multipart.h"

#include <functional>

namespace brelta::devserver {

// One accepted upload: where its file went and its form parts (the file part without its bytes, which
// are on disk).
struct ReceivedUpload
{
    QString savedPath;
    QList<FormPart> parts;

    const FormPart *part(QByteArrayView name) const;
};

// The upload receiver: checks the form, saves the recording under its folder and remembers the upload.
class UploadService
{
public:
    static inline const QString path = QStringLiteral("/upload");
    // The largest upload body taken: recordings run at about 15 MB an hour, so a long day's recording
    // fits many times over.
    static constexpr qint64 kMaxBodyBytes = qint64(256) * 1024 * 1024;
    // The largest form part kept besides the file: the others are short texts.
    static constexpr qsizetype kMaxTextPartBytes = 64 * 1024;

    // `directory` is created when missing.
    UploadService(const AuthService &auth, QString directory) : m_auth(auth), m_directory(std::move(directory)) {}

    void install(RouteTable &routes);

    const QList<ReceivedUpload> &uploads() const { return m_uploads; }
    void clearUploads() { m_uploads.clear(); }
    QString directory() const { return m_directory; }

    // Told of every accepted upload: who sent it, its "startTime" as sent and its length in seconds.
    using AcceptedHandler = std::function<void(const User &user, const QString &startTime, qint64 seconds)>;
    void setAcceptedHandler(AcceptedHandler handler) { m_accepted = std::move(handler); }

private:
    QHttpServerResponse upload(const QHttpServerRequest &request);
    // Writes the file without ever leaving the folder, whatever name the client sent; empty on failure.
    QString save(const FormPart &file);

    const AuthService &m_auth;
    QString m_directory;
    QList<ReceivedUpload> m_uploads;
    int m_savedCount = 0;
    AcceptedHandler m_accepted;
};

} // namespace brelta::devserver
