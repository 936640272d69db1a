#include "platform/update/Appcast.h"

#include <QXmlStreamReader>

namespace brelta::platform::update {

namespace {

bool named(const QXmlStreamReader &xml, QLatin1StringView localName)
{
    return xml.name() == localName;
}

AppcastItem readItem(QXmlStreamReader &xml)
{
    AppcastItem item;
    QString enclosureShort;
    QString enclosureBuild;
    while (xml.readNextStartElement()) {
        if (named(xml, QLatin1StringView("title"))) {
            item.title = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (named(xml, QLatin1StringView("link"))) {
            item.page = QUrl(xml.readElementText().trimmed(), QUrl::StrictMode);
        } else if (named(xml, QLatin1StringView("shortVersionString"))) {
            item.shortVersion = xml.readElementText().trimmed();
        } else if (named(xml, QLatin1StringView("version"))) {
            item.buildVersion = xml.readElementText().trimmed();
        } else if (named(xml, QLatin1StringView("enclosure"))) {
            // Attributes are matched by local name: feeds put them in a namespace of their choosing.
            for (const QXmlStreamAttribute &attribute : xml.attributes()) {
                if (attribute.name() == QLatin1StringView("shortVersionString"))
                    enclosureShort = attribute.value().trimmed().toString();
                else if (attribute.name() == QLatin1StringView("version"))
                    enclosureBuild = attribute.value().trimmed().toString();
            }
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (item.shortVersion.isEmpty())
        item.shortVersion = enclosureShort;
    if (item.buildVersion.isEmpty())
        item.buildVersion = enclosureBuild;
    if (item.shortVersion.isEmpty())
        item.shortVersion = item.buildVersion;
    return item;
}

} // namespace

AppcastReading readAppcast(const QByteArray &bytes)
{
    AppcastReading reading;
    if (bytes.size() > kMaxAppcastBytes) {
        reading.error = QStringLiteral("the appcast is larger than %1 bytes").arg(kMaxAppcastBytes);
        return reading;
    }
    QXmlStreamReader xml(bytes);
    bool sawChannel = false;
    if (xml.readNextStartElement() && named(xml, QLatin1StringView("rss"))) {
        while (xml.readNextStartElement()) {
            if (!named(xml, QLatin1StringView("channel"))) {
                xml.skipCurrentElement();
                continue;
            }
            sawChannel = true;
            while (xml.readNextStartElement()) {
                if (!named(xml, QLatin1StringView("item"))) {
                    xml.skipCurrentElement();
                    continue;
                }
                AppcastItem item = readItem(xml);
                if (!item.shortVersion.isEmpty())
                    reading.items.push_back(std::move(item));
            }
        }
    }
    if (xml.hasError()) {
        reading.items.clear();
        reading.error = QStringLiteral("the appcast is not well-formed XML (line %1): %2")
                            .arg(xml.lineNumber())
                            .arg(xml.errorString());
    } else if (!sawChannel) {
        reading.items.clear();
        reading.error = QStringLiteral("the appcast holds no <rss><channel>");
    }
    return reading;
}

} // namespace brelta::platform::update
