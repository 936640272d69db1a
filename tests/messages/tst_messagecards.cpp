#include "MessageFakes.h"
#include "MessageFixtures.h"
#include "designsystem/components/BrandButton.h"
#include "messages/MessageCards.h"
#include "messages/MessageTexts.h"
#include "messages/NotificationStore.h"
#include "messages/NotificationsPanel.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace brelta::messages;
using namespace brelta::testsupport::messages;
using brelta::designsystem::BrandButton;
using brelta::recording::AudioRecordingState;
namespace Api = brelta::backend::ApiMessages;

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

Api::MeetingReportMessageContent report(std::optional<QString> timestamp, std::optional<qint64> words,
                                        std::optional<QString> duration, std::optional<QString> dashboard = {})
{
    return {QStringLiteral("Your report"), QStringLiteral("Calm and clear."), dashboard, timestamp, words, duration};
}

} // namespace

class MessageCardsTest : public QObject
{
    Q_OBJECT

private slots:
    void durations_data()
    {
        QTest::addColumn<std::optional<QString>>("sent");
        QTest::addColumn<std::optional<QString>>("shown");
        QTest::newRow("42s") << std::optional<QString>("42s") << std::optional<QString>("under 1 min");
        QTest::newRow("60s") << std::optional<QString>("60s") << std::optional<QString>("under 1 min");
        QTest::newRow("75.5s") << std::optional<QString>("75.5s") << std::optional<QString>("1 minute");
        QTest::newRow("90s") << std::optional<QString>("90s") << std::optional<QString>("2 minutes");
        QTest::newRow("150s rounds half to even")
            << std::optional<QString>("150s") << std::optional<QString>("2 minutes");
        QTest::newRow("754.2s") << std::optional<QString>("754.2s") << std::optional<QString>("13 minutes");
        QTest::newRow("abc") << std::optional<QString>("abc") << std::optional<QString>();
        QTest::newRow("spaces") << std::optional<QString>(" 90s") << std::optional<QString>();
        QTest::newRow("absent") << std::optional<QString>() << std::optional<QString>();
    }

    void durations()
    {
        QFETCH(std::optional<QString>, sent);
        QFETCH(std::optional<QString>, shown);
        QCOMPARE(texts::formattedDuration(sent), shown);
    }

    void elapsedAndWords()
    {
        QCOMPARE(texts::elapsedText(0), QStringLiteral("00:00"));
        QCOMPARE(texts::elapsedText(75), QStringLiteral(" 01:15"));
        QCOMPARE(texts::elapsedText(3725), QStringLiteral(" 62:05"));
        QCOMPARE(texts::wordsText(0), QStringLiteral("0 spoken words"));
        QCOMPARE(texts::wordsText(1), QStringLiteral("1 spoken word"));
        QCOMPARE(texts::wordsText(2), QStringLiteral("2 spoken words"));
    }

    void links_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("opened");
        QTest::newRow("https") << "https://app.brelta.test/coach/sessions?account=a%40b" << true;
        QTest::newRow("http") << "http://127.0.0.1:8787/coach/sessions" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("no scheme") << "app.brelta.test/coach" << false;
        QTest::newRow("no host") << "https:///coach" << false;
        QTest::newRow("empty") << "" << false;
    }

    // "See more" exists only for an http(s) link with a host, on the report card, the panel's row and
    // through the meeting-start card's link.
    void links()
    {
        QFETCH(QString, link);
        QFETCH(bool, opened);
        QCOMPARE(texts::openableLink(link).has_value(), opened);

        MeetingReportCard card(report({}, {}, {}, link));
        auto *seeMore = card.findChild<BrandButton *>(QStringLiteral("seeMore"));
        QCOMPARE(seeMore != nullptr, opened);
        if (seeMore) {
            QSignalSpy open(&card, &MeetingReportCard::openDashboardUrl);
            seeMore->click();
            QCOMPARE(open.count(), 1);
            QCOMPARE(open.at(0).at(0).toUrl(), QUrl(link));
        }

        FakeShell shell;
        FakeRecording recording;
        EventStartReminderCard start({QStringLiteral("Standup"), QStringLiteral("Soon"), QStringLiteral("Tip"), link},
                                     {&shell, &recording, nullptr, nullptr});
        start.joinAndRecord();
        QCOMPARE(shell.calls.contains(QStringLiteral("open ") + QUrl(link).toString()), opened);
        // The recording starts whether or not the link could be opened.
        QTRY_COMPARE(recording.starts, 1);
    }

    // The information line: a dot only between two pieces.
    void reportInformationLine_data()
    {
        QTest::addColumn<std::optional<QString>>("timestamp");
        QTest::addColumn<std::optional<qint64>>("words");
        QTest::addColumn<std::optional<QString>>("duration");
        QTest::addColumn<QStringList>("pieces");
        const std::optional<QString> none;
        QTest::newRow("duration only") << none << std::optional<qint64>() << std::optional<QString>("90s")
                                       << QStringList{"2 minutes"};
        QTest::newRow("words and duration") << none << std::optional<qint64>(1) << std::optional<QString>("30s")
                                            << QStringList{"1 spoken word", "•", "under 1 min"};
        QTest::newRow("unreadable date and duration") << std::optional<QString>("yesterday") << std::optional<qint64>()
                                                      << std::optional<QString>("x") << QStringList{};
        QTest::newRow("date and duration")
            << std::optional<QString>("2024-03-05T14:30:00+0000") << std::optional<qint64>()
            << std::optional<QString>("90s") << QStringList{"DATE", "•", "2 minutes"};
    }

    void reportInformationLine()
    {
        QFETCH(std::optional<QString>, timestamp);
        QFETCH(std::optional<qint64>, words);
        QFETCH(std::optional<QString>, duration);
        QFETCH(QStringList, pieces);
        const auto content = report(timestamp, words, duration);
        if (!pieces.isEmpty() && pieces.first() == QLatin1String("DATE"))
            pieces.first() = *texts::formattedDate(content);
        MeetingReportCard card(content);
        QCOMPARE(card.infoPieces(), pieces);
    }

    void joinAndRecord_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("link");
        QTest::addColumn<bool>("startFails");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("buttonShown");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("starts");
        const int stopped = int(AudioRecordingState::Stopped);
        const int recording = int(AudioRecordingState::Recording);
        const int paused = int(AudioRecordingState::Paused);
        const QString open = QStringLiteral("open https://meet.example.test/abc");
        QTest::newRow("stopped, link") << stopped << true << false << "Join & record" << true
                                       << QStringList{"recorder panel", open, "recording started"} << 1;
        QTest::newRow("stopped, no link")
            << stopped << false << false << "Record" << true << QStringList{"recorder panel", "recording started"} << 1;
        QTest::newRow("recording, link") << recording << true << false << "Join" << true
                                         << QStringList{"recorder panel", open} << 0;
        QTest::newRow("recording, no link")
            << recording << false << false << "Join" << false << QStringList{"recorder panel"} << 0;
        QTest::newRow("paused, link") << paused << true << false << "Join & record" << true
                                      << QStringList{"recorder panel", open} << 0;
        QTest::newRow("start fails") << stopped << false << true << "Record" << true
                                     << QStringList{"recorder panel",
                                                    "alert: Unable to start recording. Please try again|"}
                                     << 1;
    }

    void joinAndRecord()
    {
        QFETCH(int, state);
        QFETCH(bool, link);
        QFETCH(bool, startFails);
        QFETCH(QString, title);
        QFETCH(bool, buttonShown);
        QFETCH(QStringList, calls);
        QFETCH(int, starts);
        FakeShell shell;
        FakeRecording recording;
        recording.recordingState = AudioRecordingState(state);
        recording.startFails = startFails;
        auto *card = new EventStartReminderCard(
            {QStringLiteral("Standup"), QStringLiteral("Starts in 5 minutes"), QStringLiteral("Breathe"),
             link ? std::optional<QString>("https://meet.example.test/abc") : std::nullopt},
            {&shell, &recording, nullptr, nullptr});
        auto *button = card->findChild<BrandButton *>(QStringLiteral("joinAndRecord"));
        QCOMPARE(button->title(), title);
        QCOMPARE(!button->isHidden(), buttonShown);
        QSignalSpy actionTaken(card, &EventStartReminderCard::actionTaken);

        card->joinAndRecord();
        QCOMPARE(actionTaken.count(), 1);
        // The popover closes and drops its cards: the start must not depend on the card.
        delete card;
        QTest::qWait(500);
        QCOMPARE(shell.calls, calls);
        QCOMPARE(recording.starts, starts);
        QCOMPARE(recording.displayedPopover, starts == 1 && !startFails);
    }

    void meetingEndCard()
    {
        FakeShell shell;
        FakeRecording recording;
        recording.recordingState = AudioRecordingState::Recording;
        recording.duration = 75;
        EventEndReminderCard card({&shell, &recording, nullptr, nullptr});
        card.show();
        QCOMPARE(recording.reminderRestarts, 1);
        QCOMPARE(card.elapsed(), QStringLiteral(" 01:15"));
        card.stopAndClose();
        QCOMPARE(recording.stops, 1);
        QCOMPARE(shell.popoverCloses, 1);

        // Shown while nothing records: the popover closes at once.
        EventEndReminderCard idle({&shell, &recording, nullptr, nullptr});
        idle.show();
        QCOMPARE(shell.popoverCloses, 2);
        idle.stopAndClose();
        QCOMPARE(recording.stops, 1);
    }

    void panelListsTheHistory()
    {
        QTemporaryDir dir;
        brelta::platform::SettingsStore settings(dir.filePath(QStringLiteral("brelta.ini")));
        brelta::platform::ManualClock clock;
        NotificationStore store(&settings, &clock);
        FakeShell shell;
        NotificationsPanelContent panel(&store, &shell);
        QVERIFY(panel.isShowingEmptyState());
        QVERIFY(panel.findChild<QWidget *>(QStringLiteral("emptyHeading")));

        Api::Message dated = message(QStringLiteral("r1"), Kind::MeetingReport);
        dated.content.meetingReport->meetingTimestamp = QStringLiteral("2024-03-05T14:30:00+0000");
        Api::Message undated = message(QStringLiteral("r2"), Kind::MeetingReport);
        undated.content.meetingReport->dashboardUrl = QStringLiteral("file:///etc/passwd");
        store.addToHistory(dated);
        store.addToHistory(undated);
        store.addToHistory(message(QStringLiteral("t")));
        QVERIFY(!panel.isShowingEmptyState());
        const auto rows = panel.findChildren<NotificationHistoryItemView *>();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0)->title(), QStringLiteral("Title t"));
        QCOMPARE(rows.at(1)->title(), QStringLiteral("Session"));
        QVERIFY(!rows.at(1)->findChild<BrandButton *>(QStringLiteral("seeMore")));
        QVERIFY(rows.at(2)->title().startsWith(QStringLiteral("Session on ")));
        rows.at(2)->findChild<BrandButton *>(QStringLiteral("seeMore"))->click();
        QCOMPARE(shell.calls, (QStringList{"open https://app.brelta.test/coach/sessions"}));

        store.clearHistory();
        QVERIFY(panel.isShowingEmptyState());
    }
};

QTEST_MAIN(MessageCardsTest)
#include "tst_messagecards.moc"
