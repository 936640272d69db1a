#include "devserver/UploadService.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace brelta::devserver {
namespace {

const QByteArrayList textPartNames{"username", "startTime", "endTime", "sessionType"};

// "yyyy-MM-dd'T'HH:mm:ssZ" as the client writes it: local time to the second and a "+hhmm" offset.
std::optional<QDateTime> parseTimestamp(const QByteArray &text)
{
    // Anchored at both ends of the whole text: "$" would also match before a final line break.
    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        QStringLiteral(R"((\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2})([+-])(\d{2})(\d{2}))")));
    const auto match = form.match(QString::fromLatin1(text));
    if (!match.hasMatch())
        return std::nullopt;
    QDateTime local = QDateTime::fromString(match.captured(1), Qt::ISODate);
    const int hours = match.captured(3).toInt();
    const int minutes = match.captured(4).toInt();
    if (!local.isValid() || hours > 14 || minutes > 59)
        return std::nullopt;
    const int sign = match.captured(2) == QLatin1String("-") ? -1 : 1;
    local.setTimeSpec(Qt::UTC);
    return local.addSecs(-sign * (hours * 3600 + minutes * 60));
}

QString safeFileName(const QString &sent)
{
    QString name = sent.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    name.replace(unsafe, QStringLiteral("_"));
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    return name.isEmpty() ? QStringLiteral("upload") : name;
}

QString checkSourceParams(const FormPart &part)
{
    const auto parsed = nlohmann::json::parse(part.body.begin(), part.body.end(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return QStringLiteral("\"sourceParams\" must be a JSON object");
    for (const auto &[key, value] : parsed.items()) {
        if (!value.is_string())
            return QStringLiteral("\"sourceParams\" member %1 is not a text").arg(QString::fromStdString(key));
    }
    return {};
}

} // namespace

const FormPart *ReceivedUpload::part(QByteArrayView name) const
{
    for (const FormPart &p : parts) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

void UploadService::install(RouteTable &routes)
{
    routes.add(path, QHttpServerRequest::Method::Post, [this](const QHttpServerRequest &r) { return upload(r); });
}

QHttpServerResponse UploadService::upload(const QHttpServerRequest &request)
{
    const auto user = m_auth.authenticate(request);
    if (!user)
        return AuthService::unauthorized();
    const auto boundary = formDataBoundary(headerValue(request, "Content-Type"));
    if (!boundary)
        return errorResponse(400, QStringLiteral("expected a multipart/form-data body with a boundary"));
    auto parsed = parseFormData(request.body(), *boundary);
    if (const auto *error = std::get_if<QString>(&parsed))
        return errorResponse(400, *error);

    ReceivedUpload upload;
    upload.parts = std::get<QList<FormPart>>(std::move(parsed));

    const auto count = [&](QByteArrayView name) {
        return std::count_if(upload.parts.cbegin(), upload.parts.cend(),
                             [&](const FormPart &p) { return p.name == name; });
    };
    for (const QByteArray &name : textPartNames + QByteArrayList{"files", "sourceParams"}) {
        if (count(name) > 1)
            return errorResponse(400, QStringLiteral("more than one part \"%1\"").arg(QString::fromLatin1(name)));
    }
    // Every part but the file is kept with the upload for as long as the server runs.
    for (const FormPart &part : upload.parts) {
        if (part.name != "files" && part.body.size() > kMaxTextPartBytes)
            return errorResponse(400, QStringLiteral("the part \"%1\" is over %2 bytes")
                                          .arg(QString::fromLatin1(part.name))
                                          .arg(kMaxTextPartBytes));
    }
    const FormPart *file = upload.part("files");
    if (!file || !file->fileName)
        return errorResponse(400, QStringLiteral("expected a file part \"files\" with a file name"));
    for (const QByteArray &name : textPartNames) {
        if (!upload.part(name))
            return errorResponse(400, QStringLiteral("missing the part \"%1\"").arg(QString::fromLatin1(name)));
    }
    const auto start = parseTimestamp(upload.part("startTime")->body);
    const auto end = parseTimestamp(upload.part("endTime")->body);
    if (!start || !end)
        return errorResponse(400,
                             QStringLiteral("\"startTime\" and \"endTime\" must read like 2026-03-01T09:30:00+0100"));
    if (*end < *start)
        return errorResponse(400, QStringLiteral("\"endTime\" is before \"startTime\""));
    const QByteArray sessionType = upload.part("sessionType")->body;
    if (sessionType != "default" && sessionType != "onboarding")
        return errorResponse(400, QStringLiteral("\"sessionType\" must be \"default\" or \"onboarding\""));
    if (const FormPart *sourceParams = upload.part("sourceParams")) {
        if (const QString error = checkSourceParams(*sourceParams); !error.isEmpty())
            return errorResponse(400, error);
    }

    upload.savedPath = save(*file);
    if (upload.savedPath.isEmpty())
        return errorResponse(500, QStringLiteral("could not save the file"));
    for (FormPart &part : upload.parts) {
        if (part.name == "files")
            part.body.clear();
    }
    qCInfo(lcDevServer) << "saved upload" << upload.savedPath;
    const QString startTime = QString::fromUtf8(upload.part("startTime")->body);
    m_uploads.append(std::move(upload));
    if (m_accepted)
        m_accepted(*user, startTime, start->secsTo(*end));
    return jsonResponse(Json{{"message", "Upload received"}});
}

QString UploadService::save(const FormPart &file)
{
    if (!QDir().mkpath(m_directory)) {
        qCWarning(lcDevServer) << "cannot create the upload folder" << m_directory;
        return {};
    }
    // A running number keeps two uploads of one name apart, also across restarts on the same folder.
    const QString name = safeFileName(*file.fileName);
    QString target;
    do {
        target =
            QDir(m_directory).filePath(QStringLiteral("%1-%2").arg(++m_savedCount, 4, 10, QLatin1Char('0')).arg(name));
    } while (QFileInfo::exists(target));
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(file.body) != file.body.size() || !out.commit()) {
        qCWarning(lcDevServer) << "cannot write" << target << out.errorString();
        return {};
    }
    return target;
}

} // namespace brelta::devserver
