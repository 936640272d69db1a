#pragma once

#include "platform/Json.h"
#include "platform/StoredSettings.h"

#include <QObject>
#include <QSettings>
#include <QString>

#include <exception>
#include <memory>
#include <optional>
#include <vector>

namespace brelta::platform {

// One element of a stored array that could not be read. Its JSON is kept so a caller that rewrites the
// array can put it back instead of losing it.
struct StoredArrayFailure
{
    int index = 0;
    QString error;
    nlohmann::json rawItem;
};

// What reading a stored array found: every element that decodes, every one that does not, and, when the
// stored text is not a JSON array at all, that text (the store never overwrites it on its own).
template<typename T>
struct StoredArray
{
    std::vector<T> items;
    std::vector<StoredArrayFailure> failures;
    std::optional<QString> unreadableText;

    bool isComplete() const { return failures.empty() && !unreadableText; }

    std::vector<nlohmann::json> failedRawItems() const
    {
        std::vector<nlohmann::json> raw;
        for (const StoredArrayFailure &failure : failures)
            raw.push_back(failure.rawItem);
        return raw;
    }
};

// The user's stored values: an INI file under the XDG config folder, keys used exactly as given.
// Absent and false (or absent and empty text) are told apart. Lists of records are stored as one JSON
// text. Every write is flushed to disk at once and announced with changed(key); each write says whether
// it reached the disk, judged by itself, whatever earlier reads or writes met.
class SettingsStore : public QObject
{
    Q_OBJECT

public:
    // $XDG_CONFIG_HOME/brelta/brelta.ini
    static QString defaultFilePath();

    explicit SettingsStore(QObject *parent = nullptr);
    explicit SettingsStore(const QString &filePath, QObject *parent = nullptr);

    QString filePath() const;
    bool contains(const QString &key) const;
    // False when the removal did not reach the disk.
    bool remove(const QString &key);

    // A stored value of another kind (a text under a boolean key, say) reads as absent, with a warning.
    std::optional<bool> boolValue(const QString &key) const;
    // Setters return false when the value did not reach the disk.
    bool setBool(const QString &key, bool value);

    std::optional<QString> text(const QString &key) const;
    bool setText(const QString &key, const QString &value);

    std::optional<qint64> integer(const QString &key) const;
    bool setInteger(const QString &key, qint64 value);

    std::optional<double> number(const QString &key) const;
    bool setNumber(const QString &key, double value);

    // Typed access through the registry in StoredSettings.h.
    bool value(const settings::BoolSetting &setting) const
    {
        return boolValue(setting.key.storedName()).value_or(setting.defaultValue);
    }
    bool setValue(const settings::BoolSetting &setting, bool value) { return setBool(setting.key.storedName(), value); }
    std::optional<QString> text(settings::TextKey key) const { return text(key.storedName()); }
    // The stored text, empty when there is none.
    QString value(settings::TextKey key) const { return text(key).value_or(QString()); }
    bool setText(settings::TextKey key, const QString &value) { return setText(key.storedName(), value); }
    bool contains(settings::TextKey key) const { return contains(key.storedName()); }
    bool remove(settings::TextKey key) { return remove(key.storedName()); }
    bool remove(const settings::BoolSetting &setting) { return remove(setting.key.storedName()); }
    bool remove(settings::ArrayKey key) { return remove(key.storedName()); }
    template<typename T>
    StoredArray<T> readArray(settings::ArrayKey key) const
    {
        return readArray<T>(key.storedName());
    }
    template<typename T>
    bool writeArray(settings::ArrayKey key, const std::vector<T> &items,
                    const std::vector<nlohmann::json> &keptRawItems = {})
    {
        return writeArray<T>(key.storedName(), items, keptRawItems);
    }

    // The stored array's elements that decode; absent or unreadable text gives the empty list.
    template<typename T>
    std::vector<T> array(const QString &key) const
    {
        return readArray<T>(key).items;
    }

    // Reads element by element: one bad element does not hide the others. Text that is not a JSON array
    // (or nests deeper than kMaxJsonDepth) reads as empty and is reported in `unreadableText`.
    template<typename T>
    StoredArray<T> readArray(const QString &key) const
    {
        StoredArray<T> result;
        const std::optional<nlohmann::json> document = storedJsonArray(key, result.unreadableText);
        if (!document)
            return result;
        int index = 0;
        for (const nlohmann::json &element : *document) {
            try {
                result.items.push_back(JsonReader(element, '[' + std::to_string(index) + ']').as<T>());
            } catch (const JsonDecodeError &error) {
                result.failures.push_back({index, QString::fromUtf8(error.what()), element});
            }
            ++index;
        }
        reportFailures(key, result.failures);
        return result;
    }

    // Stores `items` followed by `keptRawItems` (elements a caller could not read but keeps) as one JSON
    // text. When the list cannot be encoded the stored text stays as it was; false when it was not saved.
    template<typename T>
    bool writeArray(const QString &key, const std::vector<T> &items,
                    const std::vector<nlohmann::json> &keptRawItems = {})
    {
        nlohmann::ordered_json document = nlohmann::ordered_json::array();
        try {
            for (const T &item : items)
                document.push_back(toJsonValue(item));
        } catch (const std::exception &error) {
            reportEncodeFailure(key, error);
            return false;
        }
        for (const nlohmann::json &raw : keptRawItems)
            document.push_back(nlohmann::ordered_json(raw));
        return writeJsonText(key, document);
    }

signals:
    void changed(const QString &key);

private:
    // The value under `key` through `convert`; one that does not convert reads as absent, with a warning.
    template<typename T, typename Convert>
    std::optional<T> read(const QString &key, const char *kind, Convert convert) const;
    bool write(const QString &key, const QVariant &value);
    // Saves what changed in memory; false when it did not reach the disk.
    bool save(const QString &key, const char *action);
    std::unique_ptr<QSettings> openFile() const;
    std::optional<nlohmann::json> storedJsonArray(const QString &key, std::optional<QString> &unreadableText) const;
    void reportFailures(const QString &key, const std::vector<StoredArrayFailure> &failures) const;
    void reportEncodeFailure(const QString &key, const std::exception &error) const;
    bool writeJsonText(const QString &key, const nlohmann::ordered_json &document);

    QString m_filePath;
    // Replaced by a fresh object before a write once it has met an error: QSettings keeps its first
    // error for good, which would report every later write as failed.
    std::unique_ptr<QSettings> m_settings;
};

} // namespace brelta::platform
