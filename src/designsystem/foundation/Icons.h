#pragma once

#include <QColor>
#include <QImage>
#include <QString>

#include <array>
#include <optional>

namespace brelta::designsystem {

// The kit's icons, one row each: the case name and the raw value, which names the bundle's
// icons/<raw value>.svg (a 24-unit grid, strokes in currentColor, so a view tints it with any colour).
// The enum, the raw values and Icons::all() are all generated from this one list.
#define BRELTA_DESIGNSYSTEM_ICONS(X)                                                                                   \
    X(AddUser, "add-user")                                                                                             \
    X(Audio, "audio")                                                                                                  \
    X(Bell, "bell")                                                                                                    \
    X(Book, "book")                                                                                                    \
    X(Calendar, "calendar")                                                                                            \
    X(Check, "check")                                                                                                  \
    X(Chevron, "chevron")                                                                                              \
    X(Close, "close")                                                                                                  \
    X(Default, "default")                                                                                              \
    X(Delete, "delete")                                                                                                \
    X(Download, "download")                                                                                            \
    X(Error, "error")                                                                                                  \
    X(ExternalLink, "external-link")                                                                                   \
    X(Eye, "eye")                                                                                                      \
    X(EyeCrossed, "eye-crossed")                                                                                       \
    X(Faq, "faq")                                                                                                      \
    X(Filter, "filter")                                                                                                \
    X(GoogleCalendar, "google-calendar")                                                                               \
    X(GoogleMeet, "google-meet")                                                                                       \
    X(Headphones, "headphones")                                                                                        \
    X(Info, "info")                                                                                                    \
    X(Loading, "loading")                                                                                              \
    X(Lock, "lock")                                                                                                    \
    X(LogIn, "log-in")                                                                                                 \
    X(LogOut, "log-out")                                                                                               \
    X(Menu, "menu")                                                                                                    \
    X(Message, "message")                                                                                              \
    X(Mic, "mic")                                                                                                      \
    X(More, "more")                                                                                                    \
    X(Notification, "notification")                                                                                    \
    X(Pause, "pause")                                                                                                  \
    X(PauseRounded, "pause-rounded")                                                                                   \
    X(PlayFill, "play-fill")                                                                                           \
    X(Play, "play")                                                                                                    \
    X(Plus, "plus")                                                                                                    \
    X(Progress, "progress")                                                                                            \
    X(Pronunciation, "pronunciation")                                                                                  \
    X(Refresh, "refresh")                                                                                              \
    X(Repeat, "repeat")                                                                                                \
    X(Search, "search")                                                                                                \
    X(Settings, "settings")                                                                                            \
    X(Share, "share")                                                                                                  \
    X(Slack, "slack")                                                                                                  \
    X(Sound, "sound")                                                                                                  \
    X(SpeechBubble, "speech-bubble")                                                                                   \
    X(Stop, "stop")                                                                                                    \
    X(User, "user")                                                                                                    \
    X(UserCheck, "user-check")                                                                                         \
    X(Warning, "warning")                                                                                              \
    X(Zap, "zap")

enum class IconName {
#define BRELTA_ICON_CASE(name, raw) name,
    BRELTA_DESIGNSYSTEM_ICONS(BRELTA_ICON_CASE)
#undef BRELTA_ICON_CASE
};

enum class IconSize { Large = 32, Medium = 24, Small = 16, Tiny = 12 };

class Icons
{
public:
    // Every icon, in the list's order.
    static constexpr const auto &all() { return allNames; }

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

private:
    static constexpr std::array allNames = {
#define BRELTA_ICON_ENTRY(name, raw) IconName::name,
        BRELTA_DESIGNSYSTEM_ICONS(BRELTA_ICON_ENTRY)
#undef BRELTA_ICON_ENTRY
    };
};

} // namespace brelta::designsystem
