#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>
#include <variant>

namespace brelta::devserver {

// One part of a multipart/form-data body.
struct FormPart
{
    QByteArray name;                 // the Content-Disposition "name"
    std::optional<QString> fileName; // the "filename", present for file parts
    QByteArray contentType;          // the part's Content-Type, empty when it has none
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
};

// The value of a header such as Content-Type or Content-Disposition: the leading value in lower case
// and its parameters (names in lower case, quoted strings unquoted).
struct HeaderParameters
{
    QByteArray value;
    QList<QPair<QByteArray, QByteArray>> parameters;

    std::optional<QByteArray> parameter(QByteArrayView name) const;
};

// Empty when the header value is malformed (an unterminated quote, a parameter without "=").
std::optional<HeaderParameters> parseHeaderParameters(QByteArrayView headerValue);

// The boundary of a "multipart/form-data" Content-Type; empty for any other type or a missing or
// over-long boundary.
std::optional<QByteArray> formDataBoundary(QByteArrayView contentType);

// Splits a multipart/form-data body (RFC 7578) into its parts, or says what is wrong with it.
std::variant<QList<FormPart>, QString> parseFormData(QByteArrayView body, QByteArrayView boundary);

} // namespace brelta::devserver
