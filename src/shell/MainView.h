#pragma once

#include "shell/MainViewViewModel.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <array>
#include <functional>

namespace brelta::designsystem {
class BrandMenuButton;
class HighlightBlurView;
class IconButton;
class WidgetContainerView;
} // namespace brelta::designsystem

namespace brelta::shell {

class CalendarSyncState;
class RecorderView;

// What the main view's menu and header reach outside it.
struct MainViewActions
{
    // The web application's address ("scheme://host[:port]"); empty when this build has none.
    QString webApplicationBase;
    // The signed-in user's name, read when "Your Insights" is chosen.
    std::function<QString()> username;
    // Opens a page in the user's browser (QDesktopServices::openUrl in the program).
    std::function<bool(const QUrl &)> openUrl;
    // Closes the main popover when it is shown.
    std::function<void()> closePopover;
    std::function<void()> signOut;
    std::function<void()> quit;
};

// The content of the main popover when a user is signed in: the background with its glow and one of four
// panels. The recording panel has a header (the logo, the meetings, notifications and settings buttons
// and the menu) above the recorder row; the other three are panels with a back button that returns to it.
class MainView : public QWidget
{
    Q_OBJECT

public:
    // The sessions page of the web application for this user: base + "/coach/sessions", and
    // "?account=" with the name percent-encoded as a query value when there is one. Invalid (nothing to
    // open) when the base is not an http or https address.
    static QUrl insightsUrl(const QString &webApplicationBase, const QString &username);

    // Takes ownership of `recorder`. `calendar` may be null: the calendar then counts as not synced.
    MainView(MainViewViewModel *viewModel, RecorderView *recorder, MainViewActions actions,
             CalendarSyncState *calendar = nullptr, QWidget *parent = nullptr);
    ~MainView() override;

    // The panel shown for a mode (the recording panel for MainViewMode::Recording).
    QWidget *panel(MainViewMode mode) const;
    QWidget *shownPanel() const { return panel(m_viewModel->currentMode()); }
    designsystem::BrandMenuButton *menuButton() const { return m_menu; }
    QWidget *calendarDot() const { return m_calendarDot; }

    // Puts a subsystem's panel in place of a placeholder (not the recording panel): `content` goes into a
    // panel frame titled `title` whose back button returns to the recording panel. Takes ownership; returns
    // the frame, which the content's owner drives (loading, error, header control).
    designsystem::WidgetContainerView *setPanelContent(MainViewMode mode, const QString &title, QWidget *content);

    void openInsights();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *buildRecordingPanel(RecorderView *recorder);
    QWidget *buildHeader();
    designsystem::WidgetContainerView *buildPlaceholderPanel(const QString &title, const QString &note);
    designsystem::WidgetContainerView *buildPanel(const QString &title, QWidget *content);
    void showPanel(MainViewMode mode, bool animated);
    void placePanels();
    void updateCalendarDot();

    MainViewViewModel *m_viewModel;
    MainViewActions m_actions;
    QPointer<CalendarSyncState> m_calendar;
    designsystem::HighlightBlurView *m_glow;
    designsystem::BrandMenuButton *m_menu = nullptr;
    QWidget *m_calendarDot = nullptr;
    std::array<QWidget *, 4> m_panels{};
};

} // namespace brelta::shell
