#include "devserver/Multipart.h"

namespace brelta::devserver {
namespace {

constexpr QByteArrayView crlf("\r\n");
constexpr qsizetype maxBoundaryLength = 70; // RFC 2046

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isSpace(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isSpace(text.back()))
        text.chop(1);
    return text;
}

// Reads a quoted string starting at text[pos] == '"'; moves pos past the closing quote.
std::optional<QByteArray> readQuoted(QByteArrayView text, qsizetype &pos)
{
    QByteArray value;
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return value;
        }
        if (c == '\\' && pos + 1 < text.size())
            ++pos;
        value.append(text[pos]);
    }
    return std::nullopt;
}

// RFC 5987 "UTF-8''percent-encoded"; other charsets are not used by form posts.
std::optional<QString> decodeExtendedValue(const QByteArray &value)
{
    static constexpr QByteArrayView utf8Prefix("utf-8''");
    if (!value.toLower().startsWith(utf8Prefix))
        return std::nullopt;
    return QString::fromUtf8(QByteArray::fromPercentEncoding(value.mid(utf8Prefix.size())));
}

std::variant<FormPart, QString> parsePart(QByteArrayView headerBlock, QByteArrayView content)
{
    FormPart part;
    while (!headerBlock.isEmpty()) {
        const qsizetype end = headerBlock.indexOf(crlf);
        const QByteArrayView line = end < 0 ? headerBlock : headerBlock.first(end);
        headerBlock = end < 0 ? QByteArrayView() : headerBlock.sliced(end + crlf.size());
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || isSpace(line.front()))
            return QStringLiteral("malformed part header line \"%1\"").arg(QString::fromUtf8(line));
        part.headers.append({line.first(colon).toByteArray(), trimmed(line.sliced(colon + 1)).toByteArray()});
    }

    std::optional<HeaderParameters> disposition;
    for (const auto &[name, value] : std::as_const(part.headers)) {
        if (name.compare("Content-Disposition", Qt::CaseInsensitive) == 0)
            disposition = parseHeaderParameters(value);
        else if (name.compare("Content-Type", Qt::CaseInsensitive) == 0)
            part.contentType = value;
    }
    if (!disposition || disposition->value != "form-data")
        return QStringLiteral("a part without a valid \"Content-Disposition: form-data\" header");
    const auto name = disposition->parameter("name");
    if (!name || name->isEmpty())
        return QStringLiteral("a part without a name");
    part.name = *name;

    if (const auto extended = disposition->parameter("filename*"))
        part.fileName = decodeExtendedValue(*extended);
    if (!part.fileName) {
        if (const auto plain = disposition->parameter("filename"))
            part.fileName = QString::fromUtf8(*plain);
    }
    part.body = content.toByteArray();
    return part;
}

} // namespace

std::optional<QByteArray> HeaderParameters::parameter(QByteArrayView name) const
{
    for (const auto &[key, value] : parameters) {
        if (key == name)
            return value;
    }
    return std::nullopt;
}

std::optional<HeaderParameters> parseHeaderParameters(QByteArrayView headerValue)
{
    HeaderParameters result;
    qsizetype pos = headerValue.indexOf(';');
    result.value = trimmed(pos < 0 ? headerValue : headerValue.first(pos)).toByteArray().toLower();
    if (pos < 0)
        return result;

    ++pos;
    while (pos < headerValue.size()) {
        while (pos < headerValue.size() && (isSpace(headerValue[pos]) || headerValue[pos] == ';'))
            ++pos;
        if (pos >= headerValue.size())
            break;
        const qsizetype equals = headerValue.indexOf('=', pos);
        if (equals < 0)
            return std::nullopt;
        const QByteArray name = trimmed(headerValue.sliced(pos, equals - pos)).toByteArray().toLower();
        pos = equals + 1;
        while (pos < headerValue.size() && isSpace(headerValue[pos]))
            ++pos;

        QByteArray value;
        if (pos < headerValue.size() && headerValue[pos] == '"') {
            auto quoted = readQuoted(headerValue, pos);
            if (!quoted)
                return std::nullopt;
            value = *quoted;
        } else {
            const qsizetype end = headerValue.indexOf(';', pos);
            value = trimmed(headerValue.sliced(pos, (end < 0 ? headerValue.size() : end) - pos)).toByteArray();
            pos = end < 0 ? headerValue.size() : end;
        }
        if (name.isEmpty())
            return std::nullopt;
        result.parameters.append({name, value});
    }
    return result;
}

std::optional<QByteArray> formDataBoundary(QByteArrayView contentType)
{
    const auto parsed = parseHeaderParameters(contentType);
    if (!parsed || parsed->value != "multipart/form-data")
        return std::nullopt;
    const auto boundary = parsed->parameter("boundary");
    if (!boundary || boundary->isEmpty() || boundary->size() > maxBoundaryLength)
        return std::nullopt;
    return boundary;
}

std::variant<QList<FormPart>, QString> parseFormData(QByteArrayView body, QByteArrayView boundary)
{
    const QByteArray delimiter = "--" + boundary.toByteArray();
    const QByteArray innerDelimiter = crlf.toByteArray() + delimiter;

    // The first delimiter opens the body or follows a preamble's line break.
    qsizetype pos = body.startsWith(delimiter) ? 0 : body.indexOf(innerDelimiter);
    if (pos < 0)
        return QStringLiteral("the body holds no boundary line");
    pos += body.startsWith(delimiter) ? delimiter.size() : innerDelimiter.size();

    QList<FormPart> parts;
    for (;;) {
        if (body.sliced(pos).startsWith("--"))
            return parts; // the closing delimiter; an epilogue after it is ignored
        while (pos < body.size() && isSpace(body[pos]))
            ++pos;
        if (!body.sliced(pos).startsWith(crlf))
            return QStringLiteral("a boundary line that does not end the line");
        pos += crlf.size();

        // Headers end at an empty line; a part may have none, then the empty line comes at once.
        qsizetype contentStart = 0;
        QByteArrayView headerBlock;
        if (body.sliced(pos).startsWith(crlf)) {
            contentStart = pos + crlf.size();
        } else {
            const qsizetype headersEnd = body.indexOf("\r\n\r\n", pos);
            if (headersEnd < 0)
                return QStringLiteral("a part whose headers do not end");
            headerBlock = body.sliced(pos, headersEnd - pos);
            contentStart = headersEnd + 4;
        }

        const qsizetype contentEnd = body.indexOf(innerDelimiter, contentStart);
        if (contentEnd < 0)
            return QStringLiteral("a part that is not closed by a boundary line");
        auto part = parsePart(headerBlock, body.sliced(contentStart, contentEnd - contentStart));
        if (auto *error = std::get_if<QString>(&part))
            return *error;
        parts.append(std::get<FormPart>(std::move(part)));
        pos = contentEnd + innerDelimiter.size();
    }
}

} // namespace brelta::devserver
