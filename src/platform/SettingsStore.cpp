#include "platform/SettingsStore.h"

#include <QLoggingCategory>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcSettingsStore, "brelta.platform.SettingsStore")

namespace brelta::platform {

namespace {

// The INI file keeps every value as text, but values written in this process may still be cached with
// their original type; both forms have to read the same.
bool isTextual(const QVariant &value)
{
    return value.typeId() == QMetaType::QString;
}

} // namespace

QString SettingsStore::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/brelta/brelta.ini");
}

SettingsStore::SettingsStore(QObject *parent) : SettingsStore(defaultFilePath(), parent) {}

SettingsStore::SettingsStore(const QString &filePath, QObject *parent)
    : QObject(parent)
    , m_filePath(filePath)
    , m_settings(openFile())
{}

std::unique_ptr<QSettings> SettingsStore::openFile() const
{
    auto settings = std::make_unique<QSettings>(m_filePath, QSettings::IniFormat);
    // QSettings reads sections lazily, so a damaged line would otherwise surface as the error of the
    // first write after it. Reading every key now meets it here.
    settings->allKeys();
    if (settings->status() == QSettings::FormatError) {
        qCWarning(lcSettingsStore) << m_filePath
                                   << "has damaged lines; they are skipped and left out when the file is next saved";
        // The file is parsed now and shared in this process: a second object over it starts clean.
        settings = std::make_unique<QSettings>(m_filePath, QSettings::IniFormat);
    }
    return settings;
}

QString SettingsStore::filePath() const
{
    return m_filePath;
}

bool SettingsStore::contains(const QString &key) const
{
    return m_settings->contains(key);
}

bool SettingsStore::remove(const QString &key)
{
    if (m_settings->status() != QSettings::NoError)
        m_settings = openFile();
    m_settings->remove(key);
    const bool saved = save(key, "removing");
    emit changed(key);
    return saved;
}

bool SettingsStore::save(const QString &key, const char *action)
{
    m_settings->sync();
    const bool saved = m_settings->status() == QSettings::NoError;
    if (!saved)
        qCWarning(lcSettingsStore) << "could not save" << m_filePath << "after" << action << key;
    return saved;
}

template<typename T, typename Convert>
std::optional<T> SettingsStore::read(const QString &key, const char *kind, Convert convert) const
{
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return std::nullopt;
    std::optional<T> converted = convert(value);
    if (!converted)
        qCWarning(lcSettingsStore).nospace()
            << "stored value of " << key << " is not " << kind << "; reading it as absent";
    return converted;
}

bool SettingsStore::write(const QString &key, const QVariant &value)
{
    if (m_settings->status() != QSettings::NoError)
        m_settings = openFile();
    m_settings->setValue(key, value);
    const bool saved = save(key, "writing");
    emit changed(key);
    return saved;
}

std::optional<bool> SettingsStore::boolValue(const QString &key) const
{
    return read<bool>(key, "a boolean", [](const QVariant &value) -> std::optional<bool> {
        if (value.typeId() == QMetaType::Bool)
            return value.toBool();
        if (isTextual(value) && value.toString() == QLatin1String("true"))
            return true;
        if (isTextual(value) && value.toString() == QLatin1String("false"))
            return false;
        return std::nullopt;
    });
}

bool SettingsStore::setBool(const QString &key, bool value)
{
    return write(key, value);
}

std::optional<QString> SettingsStore::text(const QString &key) const
{
    return read<QString>(key, "a text", [](const QVariant &value) -> std::optional<QString> {
        switch (value.typeId()) {
        case QMetaType::QString:
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Double:
            return value.toString();
        default:
            return std::nullopt;
        }
    });
}

bool SettingsStore::setText(const QString &key, const QString &value)
{
    // A null QString must still be stored as an empty text, not as "no value".
    return write(key, value.isNull() ? QString(QLatin1String("")) : value);
}

std::optional<qint64> SettingsStore::integer(const QString &key) const
{
    return read<qint64>(key, "an integer", [](const QVariant &value) -> std::optional<qint64> {
        bool ok = false;
        qint64 number = 0;
        if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong)
            number = value.toLongLong(&ok);
        else if (isTextual(value))
            number = value.toString().toLongLong(&ok);
        return ok ? std::optional(number) : std::nullopt;
    });
}

bool SettingsStore::setInteger(const QString &key, qint64 value)
{
    return write(key, value);
}

std::optional<double> SettingsStore::number(const QString &key) const
{
    return read<double>(key, "a number", [](const QVariant &value) -> std::optional<double> {
        bool ok = false;
        double number = 0;
        if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Int
            || value.typeId() == QMetaType::LongLong)
            number = value.toDouble(&ok);
        else if (isTextual(value))
            number = value.toString().toDouble(&ok);
        return ok ? std::optional(number) : std::nullopt;
    });
}

bool SettingsStore::setNumber(const QString &key, double value)
{
    return write(key, value);
}

std::optional<nlohmann::json> SettingsStore::storedJsonArray(const QString &key,
                                                             std::optional<QString> &unreadableText) const
{
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return std::nullopt;
    const QString stored = value.toString();
    QString problem = QStringLiteral("not text");
    if (isTextual(value)) {
        try {
            nlohmann::json document = parseJson(stored.toUtf8());
            if (document.is_array())
                return document;
            problem = QStringLiteral("JSON but not an array");
        } catch (const JsonDecodeError &error) {
            problem = QString::fromStdString(error.problem());
        }
    }
    unreadableText = stored;
    qCWarning(lcSettingsStore).noquote()
        << QStringLiteral("stored value of %1 is not a JSON array (%2); it reads as empty and is kept until it is "
                          "replaced")
               .arg(key, problem);
    return std::nullopt;
}

void SettingsStore::reportFailures(const QString &key, const std::vector<StoredArrayFailure> &failures) const
{
    for (const StoredArrayFailure &failure : failures)
        qCWarning(lcSettingsStore).noquote() << "skipping unreadable element of" << key << '-' << failure.error;
}

void SettingsStore::reportEncodeFailure(const QString &key, const std::exception &error) const
{
    qCCritical(lcSettingsStore) << "could not encode" << key << "- the stored value is left unchanged:" << error.what();
}

bool SettingsStore::writeJsonText(const QString &key, const nlohmann::ordered_json &document)
{
    QByteArray text;
    try {
        text = toJsonText(document);
    } catch (const JsonEncodeError &error) {
        reportEncodeFailure(key, error);
        return false;
    }
    return write(key, QString::fromUtf8(text));
}

} // namespace brelta::platform
