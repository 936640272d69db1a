#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace brelta::platform::update {

// One release announced by an appcast: an RSS <item> whose version is given by a "version" and a
// "shortVersionString", as child elements or as attributes of its <enclosure>, in whatever XML namespace
// the feed uses.
struct AppcastItem
{
    QString title;
    // The version users see ("1.5.0"); the build version when the feed gives no short one.
    QString shortVersion;
    // The build ("53"); may be empty.
    QString buildVersion;
    // The item's <link>: the release's web page, as the feed wrote it (not yet checked).
    QUrl page;
};

struct AppcastReading
{
    std::vector<AppcastItem> items;
    // Why the feed could not be read at all; empty when it was.
    QString error;
};

// Reads an appcast. Items without any version are skipped; a feed that is not well-formed XML, or holds
// no <rss> channel, is an error. Feeds larger than kMaxAppcastBytes are refused unread.
AppcastReading readAppcast(const QByteArray &xml);

inline constexpr qsizetype kMaxAppcastBytes = 1024 * 1024;

} // namespace brelta::platform::update
