#include "designsystem/foundation/Icons.h"

#include "designsystem/foundation/ResourceBundle.h"
#include "designsystem/foundation/SizeCases.h"

#include <QCache>
#include <QFile>
#include <QLoggingCategory>
#include <QMutex>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

Q_LOGGING_CATEGORY(lcIcons, "brelta.designsystem.Icons")

namespace brelta::designsystem {

namespace {

struct RawName
{
    IconName name;
    const char *raw;
};

constexpr RawName rawNames[] = {
    {IconName::AddUser, "add-user"},
    {IconName::Audio, "audio"},
    {IconName::Bell, "bell"},
    {IconName::Book, "book"},
    {IconName::Calendar, "calendar"},
    {IconName::Check, "check"},
    {IconName::Chevron, "chevron"},
    {IconName::Close, "close"},
    {IconName::Default, "default"},
    {IconName::Delete, "delete"},
    {IconName::Download, "download"},
    {IconName::Error, "error"},
    {IconName::ExternalLink, "external-link"},
    {IconName::Eye, "eye"},
    {IconName::EyeCrossed, "eye-crossed"},
    {IconName::Faq, "faq"},
    {IconName::Filter, "filter"},
    {IconName::GoogleCalendar, "google-calendar"},
    {IconName::GoogleMeet, "google-meet"},
    {IconName::Headphones, "headphones"},
    {IconName::Info, "info"},
    {IconName::Loading, "loading"},
    {IconName::Lock, "lock"},
    {IconName::LogIn, "log-in"},
    {IconName::LogOut, "log-out"},
    {IconName::Menu, "menu"},
    {IconName::Message, "message"},
    {IconName::Mic, "mic"},
    {IconName::More, "more"},
    {IconName::Notification, "notification"},
    {IconName::Pause, "pause"},
    {IconName::PauseRounded, "pause-rounded"},
    {IconName::PlayFill, "play-fill"},
    {IconName::Play, "play"},
    {IconName::Plus, "plus"},
    {IconName::Progress, "progress"},
    {IconName::Pronunciation, "pronunciation"},
    {IconName::Refresh, "refresh"},
    {IconName::Repeat, "repeat"},
    {IconName::Search, "search"},
    {IconName::Settings, "settings"},
    {IconName::Share, "share"},
    {IconName::Slack, "slack"},
    {IconName::Sound, "sound"},
    {IconName::SpeechBubble, "speech-bubble"},
    {IconName::Stop, "stop"},
    {IconName::User, "user"},
    {IconName::UserCheck, "user-check"},
    {IconName::Warning, "warning"},
    {IconName::Zap, "zap"},
};

QByteArray tintedSvg(IconName name, const QColor &color)
{
    QFile file(Icons::svgPath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcIcons) << "the kit has no icon" << Icons::rawValue(name) << file.errorString();
        return {};
    }
    // Qt SVG has no inherited `color` property to feed currentColor, so the colour is written in.
    QByteArray svg = file.readAll();
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    return svg;
}

QImage render(IconName name, int side, const QColor &color, qreal devicePixelRatio)
{
    const int pixels = int(std::lround(side * devicePixelRatio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);
    QSvgRenderer renderer(tintedSvg(name, color));
    if (!renderer.isValid())
        return image;
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(color.alphaF());
    renderer.render(&painter, QRectF(0, 0, side, side));
    return image;
}

} // namespace

const std::array<IconName, 50> &Icons::all()
{
    static const std::array<IconName, 50> names = {
        IconName::AddUser,       IconName::Audio,        IconName::Bell,
        IconName::Book,          IconName::Calendar,     IconName::Check,
        IconName::Chevron,       IconName::Close,        IconName::Default,
        IconName::Delete,        IconName::Download,     IconName::Error,
        IconName::ExternalLink,  IconName::Eye,          IconName::EyeCrossed,
        IconName::Faq,           IconName::Filter,       IconName::GoogleCalendar,
        IconName::GoogleMeet,    IconName::Headphones,   IconName::Info,
        IconName::Loading,       IconName::Lock,         IconName::LogIn,
        IconName::LogOut,        IconName::Menu,         IconName::Message,
        IconName::Mic,           IconName::More,         IconName::Notification,
        IconName::Pause,         IconName::PauseRounded, IconName::PlayFill,
        IconName::Play,          IconName::Plus,         IconName::Progress,
        IconName::Pronunciation, IconName::Refresh,      IconName::Repeat,
        IconName::Search,        IconName::Settings,     IconName::Share,
        IconName::Slack,         IconName::Sound,        IconName::SpeechBubble,
        IconName::Stop,          IconName::User,         IconName::UserCheck,
        IconName::Warning,       IconName::Zap};
    return names;
}

QString Icons::rawValue(IconName name)
{
    for (const RawName &entry : rawNames) {
        if (entry.name == name)
            return QLatin1String(entry.raw);
    }
    Q_UNREACHABLE();
}

std::optional<IconName> Icons::fromRawValue(QStringView rawValue)
{
    for (const RawName &entry : rawNames) {
        if (rawValue == QLatin1String(entry.raw))
            return entry.name;
    }
    return std::nullopt;
}

std::optional<IconSize> Icons::sizeFromPoints(double points)
{
    return sizeCaseFromPoints(points, {IconSize::Large, IconSize::Medium, IconSize::Small, IconSize::Tiny});
}

QString Icons::svgPath(IconName name)
{
    return ResourceBundle::path() + QStringLiteral("/icons/") + rawValue(name) + QStringLiteral(".svg");
}

QImage Icons::image(IconName name, int side, const QColor &color, qreal devicePixelRatio)
{
    static QMutex mutex;
    static QCache<QString, QImage> cache(4 * 1024 * 1024); // cost = bytes
    const QString key =
        QStringLiteral("%1|%2|%3|%4").arg(int(name)).arg(side).arg(color.rgba(), 0, 16).arg(devicePixelRatio);
    QMutexLocker lock(&mutex);
    if (const QImage *cached = cache.object(key))
        return *cached;
    QImage rendered = render(name, side, color, devicePixelRatio);
    cache.insert(key, new QImage(rendered), int(rendered.sizeInBytes()));
    return rendered;
}

} // namespace brelta::designsystem
