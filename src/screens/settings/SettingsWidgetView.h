#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QScrollArea;
class QStackedLayout;

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::platform {
class Clock;
class Timer;
} // namespace brelta::platform
namespace brelta::recording {
class AudioRecorderManager;
}
namespace brelta::designsystem {
class BodyView;
class BrandButton;
class BrandDropdownMenu;
class BrandToggle;
class WidgetContainerView;
} // namespace brelta::designsystem

namespace brelta::screens {

class CalendarConnection;
class GoalChip;
class PrivacyTooltip;
class SettingsBlock;
class SettingsWidgetViewModel;

// The settings panel of the main popover: cards for the calendar connection, feedback language, privacy
// control, goals, account, privacy policy and version. Its state lives in the shared view model; the panel
// reloads it each time it is shown and puts the model's save state into the frame's header.
class SettingsWidgetView : public QWidget
{
    Q_OBJECT

public:
    struct Dependencies
    {
        SettingsWidgetViewModel *model = nullptr;
        platform::Clock *clock = nullptr;
        // Optional: without them the calendar card counts as not connected (its button does nothing), the
        // privacy switch is never locked by a recording, nothing is reported, and no update check runs.
        CalendarConnection *calendar = nullptr;
        recording::AudioRecorderManager *recorder = nullptr;
        analytics::AnalyticsManager *analytics = nullptr;
        QNetworkAccessManager *network = nullptr;
        // The signed-in user's e-mail, read each time the panel is shown.
        std::function<QString()> username;
        // The maker's web site, for the privacy policy.
        QUrl webBase;
        // Opens a page in the user's browser (QDesktopServices::openUrl when empty).
        std::function<bool(const QUrl &)> openUrl;
    };

    static constexpr std::chrono::milliseconds kFocusScrollDelay{750};
    static inline const QString kPrivacyPolicyPath = QStringLiteral("/privacy");
    static inline const QString kSaveErrorText = QStringLiteral("Please try again");
    static inline const QString kLoadErrorText = QStringLiteral("Something went wrong.");
    static inline const QString kStopRecordingText = QStringLiteral("Stop recording to change this setting.");
    static inline const QString kTooltipText =
        QStringLiteral("Brelta will record everyone in the conversation if you are not using a headset");

    // Every dependency must outlive the panel.
    explicit SettingsWidgetView(Dependencies dependencies, QWidget *parent = nullptr);
    ~SettingsWidgetView() override;

    // The frame the panel is mounted in: its header shows the save spinner and error.
    void setContainer(designsystem::WidgetContainerView *container);

    // Scrolls the privacy-control card to the top shortly and lights it up ("Go to settings").
    void focusPrivacySettings();

    enum class Page { FirstLoad, LoadError, List };
    Page shownPage() const;

    SettingsBlock *calendarBlock() const { return m_calendarBlock; }
    SettingsBlock *languageBlock() const { return m_languageBlock; }
    SettingsBlock *privacyBlock() const { return m_privacyBlock; }
    SettingsBlock *goalsBlock() const { return m_goalsBlock; }
    SettingsBlock *accountBlock() const { return m_accountBlock; }
    SettingsBlock *versionBlock() const { return m_versionBlock; }
    // The one of these two that shows: "Connect Google Calendar" (primary) or "Disconnect …" (secondary).
    designsystem::BrandButton *calendarButton() const;
    designsystem::BrandDropdownMenu *languageMenu() const { return m_languageMenu; }
    designsystem::BrandToggle *privacySwitch() const { return m_privacySwitch; }
    designsystem::BodyView *stopRecordingNote() const { return m_stopRecordingNote; }
    QWidget *privacyTooltip() const;
    QList<GoalChip *> goalChips() const { return m_chips; }
    designsystem::BrandButton *privacyPolicyButton() const { return m_privacyPolicyButton; }
    designsystem::BrandButton *updateButton() const { return m_updateButton; }
    designsystem::BodyView *updateStatus() const { return m_updateStatus; }
    designsystem::BrandButton *tryAgainButton() const { return m_tryAgain; }
    QScrollArea *scrollArea() const { return m_scroll; }

    // The privacy-policy page on `webBase`; invalid when `webBase` cannot hold one.
    static QUrl privacyPolicyUrl(const QUrl &webBase);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildFirstLoadPage();
    QWidget *buildErrorPage();
    QWidget *buildList();
    QWidget *buildPrivacyContent();
    QWidget *buildVersionContent();
    void refreshPage();
    void refreshHeader();
    void refreshCalendar();
    void refreshLanguages();
    void refreshGoals();
    void refreshPrivacy();
    void refreshRecordingLock();
    void pressCalendarButton();
    void switchPrivacy(bool on);
    void checkForUpdates();
    void scrollToPrivacy();
    bool open(const QUrl &url) const;

    Dependencies m_deps;
    QPointer<designsystem::WidgetContainerView> m_container;
    QStackedLayout *m_pages;
    QWidget *m_firstLoadPage = nullptr;
    QWidget *m_errorPage = nullptr;
    QScrollArea *m_scroll = nullptr;
    designsystem::BrandButton *m_tryAgain = nullptr;

    SettingsBlock *m_calendarBlock = nullptr;
    SettingsBlock *m_languageBlock = nullptr;
    SettingsBlock *m_privacyBlock = nullptr;
    SettingsBlock *m_goalsBlock = nullptr;
    SettingsBlock *m_accountBlock = nullptr;
    SettingsBlock *m_versionBlock = nullptr;
    designsystem::BrandButton *m_connectButton = nullptr;
    designsystem::BrandButton *m_disconnectButton = nullptr;
    designsystem::BrandDropdownMenu *m_languageMenu = nullptr;
    designsystem::BrandToggle *m_privacySwitch = nullptr;
    designsystem::BodyView *m_stopRecordingNote = nullptr;
    PrivacyTooltip *m_tooltip = nullptr;
    QWidget *m_goalsArea = nullptr;
    QList<GoalChip *> m_chips;
    designsystem::BrandButton *m_privacyPolicyButton = nullptr;
    designsystem::BrandButton *m_updateButton = nullptr;
    designsystem::BodyView *m_updateStatus = nullptr;
    bool m_checkingUpdates = false;
    std::unique_ptr<platform::Timer> m_scrollTimer;
};

} // namespace brelta::screens
