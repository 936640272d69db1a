#pragma once

#include <QColor>
#include <QImage>
#include <QString>

#include <array>
#include <optional>

namespace brelta::designsystem {

// The kit's icons. Each draws from the bundle's icons/<raw value>.svg: a 24-unit grid, strokes in
// currentColor, so a view tints it with any colour.
enum class IconName {
    AddUser,
    Audio,
    Bell,
    Book,
    Calendar,
    Check,
    Chevron,
    Close,
    Default,
    Delete,
    Download,
    Error,
    ExternalLink,
    Eye,
    EyeCrossed,
    Faq,
    Filter,
    GoogleCalendar,
    GoogleMeet,
    Headphones,
    Info,
    Loading,
    Lock,
    LogIn,
    LogOut,
    Menu,
    Message,
    Mic,
    More,
    Notification,
    Pause,
    PauseRounded,
    PlayFill,
    Play,
    Plus,
    Progress,
    Pronunciation,
    Refresh,
    Repeat,
    Search,
    Settings,
    Share,
    Slack,
    Sound,
    SpeechBubble,
    Stop,
    User,
    UserCheck,
    Warning,
    Zap,
};

enum class IconSize { Large = 32, Medium = 24, Small = 16, Tiny = 12 };

class Icons
{
public:
    static const std::array<IconName, 50> &all();

    // The asset name ("external-link" for ExternalLink, "default" for Default, …).
    static QString rawValue(IconName name);
    // The icon whose raw value is exactly `rawValue` (case-sensitive), if any.
    static std::optional<IconName> fromRawValue(QStringView rawValue);

    static int points(IconSize size) { return static_cast<int>(size); }
    static std::optional<IconSize> sizeFromPoints(double points);

    // The icon drawn in `color`, fitted and centred in a square of `side` logical pixels, rendered for
    // `devicePixelRatio` so it stays sharp on scaled screens. Cached per icon, colour, side and ratio.
    // An icon the bundle lacks renders empty (and logs once).
    static QImage image(IconName name, int side, const QColor &color, qreal devicePixelRatio = 1.0);

    static QString svgPath(IconName name);
};

} // namespace brelta::designsystem
