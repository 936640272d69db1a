#include "recording/web/WebRecorderMessage.h"

#include <QMetaType>

#include <cmath>

namespace brelta::recording::pagemessage {

namespace {

const QString kParseFailure = QStringLiteral("failed to parse webview message");

bool isString(const QVariant &value)
{
    return value.metaType().id() == QMetaType::QString;
}

// A JSON number that is a whole number in [0, 2^53]; JavaScript has no other integers.
std::optional<qint64> wholeNumber(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double: {
        const double number = value.toDouble();
        if (!std::isfinite(number) || number < 0 || number > 9007199254740992.0 || std::floor(number) != number)
            return std::nullopt;
        return qint64(number);
    }
    default:
        return std::nullopt;
    }
}

// Strict base64 after dropping what is not part of its alphabet, so that line breaks pass and truncated or
// garbled text does not.
std::optional<QByteArray> decodeBase64(const QString &text)
{
    QByteArray kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '+' || u == '/'
            || u == '=')
            kept.append(char(u));
    }
    if (kept.size() % 4 != 0)
        return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(kept, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

} // namespace

Message read(const QVariantMap &body)
{
    const QVariant event = body.value(QStringLiteral("event"));
    if (body.isEmpty() || !isString(event))
        return Unreadable{kParseFailure, {}};

    if (event.toString() == QLatin1String("call-finished")) {
        const std::optional<qint64> callId = wholeNumber(body.value(QStringLiteral("callId")));
        if (!callId)
            return Unreadable{kParseFailure, {}};
        const QVariant error = body.value(QStringLiteral("error"));
        if (isString(error))
            return CallFinished{*callId, {}, error.toString()};
        return CallFinished{*callId, body.value(QStringLiteral("value")), std::nullopt};
    }
    if (event.toString() != QLatin1String("data-available"))
        return Ignored{};

    const QVariant id = body.value(QStringLiteral("recordingId"));
    const QString recordingId = isString(id) ? id.toString() : QString();
    const QVariant error = body.value(QStringLiteral("error"));
    if (isString(error))
        return Failure{recordingId, error.toString()};
    if (!isString(id))
        return Unreadable{kParseFailure, {}};
    const std::optional<qint64> sequence = wholeNumber(body.value(QStringLiteral("sequence")));
    if (!sequence)
        return Unreadable{kParseFailure, recordingId};
    const QVariant data = body.value(QStringLiteral("data"));
    if (!isString(data))
        return Unreadable{QStringLiteral("failed to parse data from message"), recordingId};
    std::optional<QByteArray> bytes = decodeBase64(data.toString());
    if (!bytes)
        return Unreadable{QStringLiteral("failed to decode data from base64"), recordingId};
    return Chunk{recordingId, *sequence, std::move(*bytes)};
}

QString describe(const QVariantMap &body)
{
    constexpr int kLongest = 200;
    QStringList entries;
    for (auto it = body.cbegin(); it != body.cend(); ++it) {
        QString value = it.value().isNull() ? QStringLiteral("null") : it.value().toString();
        if (value.isEmpty() && !it.value().isNull() && !isString(it.value()))
            value = QStringLiteral("<%1>").arg(QString::fromLatin1(it.value().typeName()));
        if (value.size() > kLongest)
            value = value.left(kLongest) + QStringLiteral("… (%1 characters)").arg(value.size());
        entries << it.key().left(kLongest) + QStringLiteral(": ") + value;
    }
    return QStringLiteral("{") + entries.join(QStringLiteral(", ")) + QStringLiteral("}");
}

} // namespace brelta::recording::pagemessage
