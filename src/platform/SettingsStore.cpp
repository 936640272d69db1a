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
    , m_settings(filePath, QSettings::IniFormat)
{}

QString SettingsStore::filePath() const
{
    return m_settings.fileName();
}

bool SettingsStore::contains(const QString &key) const
{
    return m_settings.contains(key);
}

void SettingsStore::remove(const QString &key)
{
    m_settings.remove(key);
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        qCWarning(lcSettingsStore) << "could not save" << m_settings.fileName() << "after removing" << key;
    emit changed(key);
}

template<typename T, typename Convert>
std::optional<T> SettingsStore::read(const QString &key, const char *kind, Convert convert) const
{
    const QVariant value = m_settings.value(key);
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
    m_settings.setValue(key, value);
    m_settings.sync();
    const bool saved = m_settings.status() == QSettings::NoError;
    if (!saved)
        qCWarning(lcSettingsStore) << "could not save" << m_settings.fileName() << "after writing" << key;
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
    const QVariant value = m_settings.value(key);
    if (!value.isValid())
        return std::nullopt;
    const QString stored = value.toString();
    if (isTextual(value)) {
        const QByteArray utf8 = stored.toUtf8();
        nlohmann::json document = nlohmann::json::parse(utf8.constBegin(), utf8.constEnd(), nullptr, false);
        if (document.is_array())
            return document;
    }
    unreadableText = stored;
    qCWarning(lcSettingsStore) << "stored value of" << key
                               << "is not a JSON array; it reads as empty and is kept until it is replaced";
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
