#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>
#include <variant>

namespace brelta::recording {

// What one message from the recorder page says, once checked. Everything in a message is untrusted: the page
// runs a browser engine on content we made, but a renderer can misbehave or die halfway.
namespace pagemessage {

// An event the recorder does not act on.
struct Ignored
{};

// The next chunk of a recording's audio file.
struct Chunk
{
    QString recordingId;
    qint64 sequence = 0;
    QByteArray bytes;
};

// A message the recorder cannot use: `reason` is the log text ("failed to parse webview message"). Names the
// recording it claims to belong to, if it does.
struct Unreadable
{
    QString reason;
    QString recordingId;
};

// The page reports that a recording failed.
struct Failure
{
    QString recordingId;
    QString text;
};

// How a page call ended: a value, or the error text of its promise.
struct CallFinished
{
    qint64 callId = 0;
    QVariant value;
    std::optional<QString> error;
};

using Message = std::variant<Ignored, Chunk, Unreadable, Failure, CallFinished>;

// Reads the map the page posted through the bridge.
//
// "event" must be a string. "data-available" carries "recordingId" (a string) and either an "error" (a string;
// null or absent means none, any other type is disregarded) or the chunk's "sequence" (a whole number from 0)
// and "data" (base64; characters outside its alphabet, such as line breaks, are skipped). "call-finished"
// carries "callId" and "value" or "error". Any other event is Ignored.
Message read(const QVariantMap &body);

// The message as a short line for the log: every entry, with long texts (the audio) cut.
QString describe(const QVariantMap &body);

} // namespace pagemessage

} // namespace brelta::recording
