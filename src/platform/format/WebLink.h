#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace brelta::platform::format {

// Whether a link from a server, a calendar or a stored value may be handed to the browser: http or https
// with a host. Anything else ("javascript:", "file:", a bare path, "https:///x") is never opened.
bool isOpenableWebLink(const QUrl &url);

// The text read strictly as such a link; none when it is empty, malformed or not one.
std::optional<QUrl> openableWebLink(const QString &text);

} // namespace brelta::platform::format
