#include "backend/records/ApiMessages.h"

#include <QTest>

using namespace brelta::backend::ApiMessages;
using brelta::platform::decodeJson;
using brelta::platform::JsonDecodeError;
using brelta::platform::toJsonText;

namespace {

// A "GetUserMessage" answer around one message.
QByteArray answer(const QByteArray &message)
{
    return R"({"userMessage": )" + message + "}";
}

// Adjacent one-line literals: moc loses track of multi-line raw strings.
const QByteArray kMeetingReport =
    R"({"messageId": "m-17", "slot": "reports", "content": {"meetingReport": {)"
    R"("messageTitle": "Your weekly sync", "summary": "You spoke for a third of the meeting.", )"
    R"("dashboardUrl": "https://example.com/d/17", "meetingTimestamp": "2024-03-05T14:07:09+0100", )"
    R"("wordsSaid": 1532, "meetingDuration": "1834.5s", "confidence": 0.9}}, )"
    R"("schedule": {"localInterval": {"earliestLocalIso": "2024-03-05T15:00:00", "latestLocalIso": "2024-03-05T18:00:00"}}, )"
    R"("priority": 3})";

} // namespace

class ApiMessagesTest : public QObject
{
    Q_OBJECT

private slots:
    void decodesAMeetingReport()
    {
        const Message message = decodeJson<GetMessageResponse>(answer(kMeetingReport)).userMessage;
        QCOMPARE(message.messageId, QStringLiteral("m-17"));
        QCOMPARE(message.slot, std::optional<QString>(QStringLiteral("reports")));
        QVERIFY(message.content.meetingReport.has_value());
        const MeetingReportMessageContent &report = *message.content.meetingReport;
        QCOMPARE(report.messageTitle, QStringLiteral("Your weekly sync"));
        QCOMPARE(report.summary, QStringLiteral("You spoke for a third of the meeting."));
        QCOMPARE(report.dashboardUrl, std::optional<QString>(QStringLiteral("https://example.com/d/17")));
        QCOMPARE(report.wordsSaid, std::optional<qint64>(1532));
        QCOMPARE(report.meetingDurationSeconds(), std::optional<double>(1834.5));
        QCOMPARE(report.meetingStart(),
                 std::optional<QDateTime>(QDateTime(QDate(2024, 3, 5), QTime(13, 7, 9), Qt::UTC)));
        QVERIFY(!message.content.simpleText && !message.content.eventStartReminder
                && !message.content.eventEndReminder);
        QVERIFY(!message.schedule.asap);
        QCOMPARE(message.schedule.localInterval,
                 std::optional<LocalIntervalMessageSchedule>(
                     {QStringLiteral("2024-03-05T15:00:00"), QStringLiteral("2024-03-05T18:00:00")}));
    }

    void decodingAlternativesAndPresence_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("setMembers"); // content and schedule members that end up set, in order

        QTest::newRow("empty content and schedule")
            << QByteArray(R"({"messageId": "a", "content": {}, "schedule": {}})") << "";
        QTest::newRow("simpleText null is not set")
            << QByteArray(R"({"messageId": "a", "content": {"simpleText": null}, "schedule": {}})") << "";
        QTest::newRow("asap true is set")
            << QByteArray(R"({"messageId": "a", "content": {}, "schedule": {"asap": true}})") << "asap";
        QTest::newRow("asap null is not set")
            << QByteArray(R"({"messageId": "a", "content": {}, "schedule": {"asap": null}})") << "";
        QTest::newRow("two content members are both kept")
            << QByteArray(R"({"messageId": "a", "content": {"simpleText": {"title": "t", "body": "b"},)"
                          R"( "meetingReport": {"messageTitle": "m", "summary": "s"}}, "schedule": {"asap": {}}})")
            << "simpleText meetingReport asap";
        QTest::newRow("only an unknown content key")
            << QByteArray(R"({"messageId": "a", "content": {"poll": {"question": "?"}}, "schedule": {}})") << "";
        QTest::newRow("key case matters") << QByteArray(
            R"({"messageId": "a", "content": {"SimpleText": {"title": "t", "body": "b"}}, "schedule": {}})")
                                          << "";
        QTest::newRow("event reminders and both schedules") << QByteArray(
            R"({"messageId": "a", "content": {"eventStartReminder": {"title": "t", "body": "b", "tip": "p"},)"
            R"( "eventEndReminder": 7}, "schedule": {"asap": [], "localInterval": {"earliestLocalIso": "2024-01-01T09:00:00"}}})")
                                                            << "eventStartReminder eventEndReminder asap localInterval";
    }

    void decodingAlternativesAndPresence()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, setMembers);
        const Message decoded = decodeJson<GetMessageResponse>(answer(message)).userMessage;
        QStringList set;
        if (decoded.content.simpleText)
            set << QStringLiteral("simpleText");
        if (decoded.content.meetingReport)
            set << QStringLiteral("meetingReport");
        if (decoded.content.eventStartReminder)
            set << QStringLiteral("eventStartReminder");
        if (decoded.content.eventEndReminder)
            set << QStringLiteral("eventEndReminder");
        if (decoded.schedule.asap)
            set << QStringLiteral("asap");
        if (decoded.schedule.localInterval)
            set << QStringLiteral("localInterval");
        QCOMPARE(set.join(QLatin1Char(' ')), setMembers);
    }

    void malformedMembersFailTheWholeAnswer_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("error");

        QTest::newRow("meeting report without its title")
            << QByteArray(R"({"messageId": "a", "content": {"meetingReport": {"summary": "s"}}, "schedule": {}})")
            << "userMessage.content.meetingReport.messageTitle: missing";
        QTest::newRow("wordsSaid in quotes")
            << QByteArray(R"({"messageId": "a", "content": {"meetingReport": {"messageTitle": "m", "summary": "s",)"
                          R"( "wordsSaid": "12"}}, "schedule": {}})")
            << "userMessage.content.meetingReport.wordsSaid: expected integer, got string";
        QTest::newRow("wordsSaid with a fraction")
            << QByteArray(R"({"messageId": "a", "content": {"meetingReport": {"messageTitle": "m", "summary": "s",)"
                          R"( "wordsSaid": 12.5}}, "schedule": {}})")
            << "userMessage.content.meetingReport.wordsSaid: expected integer, got 12.5";
        QTest::newRow("simple text body is a number")
            << QByteArray(R"({"messageId": "a", "content": {"simpleText": {"title": "t", "body": 1}}, "schedule": {}})")
            << "userMessage.content.simpleText.body: expected string, got number";
        QTest::newRow("message id null") << QByteArray(R"({"messageId": null, "content": {}, "schedule": {}})")
                                         << "userMessage.messageId: missing (null)";
        QTest::newRow("no schedule") << QByteArray(R"({"messageId": "a", "content": {}})")
                                     << "userMessage.schedule: missing";
        QTest::newRow("content is not an object")
            << QByteArray(R"({"messageId": "a", "content": "hi", "schedule": {}})")
            << "userMessage.content: expected object, got string";
        QTest::newRow("slot of the wrong type")
            << QByteArray(R"({"messageId": "a", "slot": 3, "content": {}, "schedule": {}})")
            << "userMessage.slot: expected string, got number";
        QTest::newRow("local interval without its start")
            << QByteArray(
                   R"({"messageId": "a", "content": {}, "schedule": {"localInterval": {"latestLocalIso": "x"}}})")
            << "userMessage.schedule.localInterval.earliestLocalIso: missing";
        QTest::newRow("event start reminder without its tip") << QByteArray(
            R"({"messageId": "a", "content": {"eventStartReminder": {"title": "t", "body": "b"}}, "schedule": {}})")
                                                              << "userMessage.content.eventStartReminder.tip: missing";
    }

    void malformedMembersFailTheWholeAnswer()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, error);
        try {
            decodeJson<GetMessageResponse>(answer(message));
            QFAIL("the answer decoded");
        } catch (const JsonDecodeError &failure) {
            QCOMPARE(QString::fromUtf8(failure.what()), error);
        }
    }

    void getMessageResponseNeedsItsMessage()
    {
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError, decodeJson<GetMessageResponse>(QByteArray("{}")));
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError,
                                 decodeJson<GetMessageResponse>(QByteArray(R"({"userMessage": null})")));
    }

    void listResponse_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("entries"); // -1 = absent
        QTest::addColumn<QString>("secondSlot");

        QTest::newRow("no entries key") << QByteArray("{}") << -1 << QString();
        QTest::newRow("entries null") << QByteArray(R"({"entries": null})") << -1 << QString();
        QTest::newRow("empty entries") << QByteArray(R"({"entries": []})") << 0 << QString();
        QTest::newRow("two entries") << QByteArray(
            R"({"entries": [{"messageId": "a", "slot": null}, {"messageId": "b", "slot": "s", "x": 1}]})")
                                     << 2 << "s";
    }

    void listResponse()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, entries);
        QFETCH(QString, secondSlot);
        const GetMessagesListResponse response = decodeJson<GetMessagesListResponse>(body);
        QCOMPARE(response.entries.has_value(), entries >= 0);
        if (!response.entries)
            return;
        QCOMPARE(int(response.entries->size()), entries);
        if (entries == 2) {
            QCOMPARE(response.entries->at(0).messageId, QStringLiteral("a"));
            QVERIFY(!response.entries->at(0).slot);
            QCOMPARE(response.entries->at(1).slot, std::optional<QString>(secondSlot));
        }
    }

    void listEntryWithoutIdFailsTheList()
    {
        try {
            decodeJson<GetMessagesListResponse>(QByteArray(R"({"entries": [{"messageId": "a"}, {"slot": "s"}]})"));
            QFAIL("the list decoded");
        } catch (const JsonDecodeError &failure) {
            QCOMPARE(QString::fromUtf8(failure.what()), QStringLiteral("entries[1].messageId: missing"));
        }
    }

    void interactionReportAcceptsAnyBody_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty object") << QByteArray("{}");
        QTest::newRow("null") << QByteArray("null");
        QTest::newRow("array") << QByteArray("[1, 2]");
        QTest::newRow("text") << QByteArray(R"("ok")");
    }

    void interactionReportAcceptsAnyBody()
    {
        QFETCH(QByteArray, body);
        decodeJson<ReportUserMessageInteractionResponse>(body); // must not throw
    }

    void encodesInTableOrderAndLeavesAbsentOut()
    {
        const Message message{QStringLiteral("m-1"), std::nullopt,
                              MessageContent{SimpleTextMessageContent{QStringLiteral("Hi"), QStringLiteral("There")},
                                             std::nullopt, std::nullopt, EventEndReminderMessageContent{}},
                              MessageSchedule{AsapMessageSchedule{}, std::nullopt}};
        QCOMPARE(toJsonText(message.toJson()),
                 QByteArray(R"({"messageId":"m-1","content":{"simpleText":{"title":"Hi","body":"There"},)"
                            R"("eventEndReminder":{}},"schedule":{"asap":{}}})"));
    }

    void encodingAndDecodingAgainGivesTheSameMessage_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("meeting report with every field") << kMeetingReport;
        QTest::newRow("reminder with a link") << QByteArray(
            R"({"messageId": "r", "slot": null, "content": {"eventStartReminder": {"title": "Standup",)"
            R"( "body": "Starts in 2 minutes", "tip": "Breathe", "googleMeetUrl": "https://meet.example/x"}},)"
            R"( "schedule": {"asap": {}}})");
        QTest::newRow("nothing optional") << QByteArray(R"({"messageId": "e", "content": {}, "schedule": {}})");
    }

    void encodingAndDecodingAgainGivesTheSameMessage()
    {
        QFETCH(QByteArray, message);
        const Message original = decodeJson<Message>(message);
        const QByteArray encoded = toJsonText(original.toJson());
        QVERIFY(!encoded.contains("null"));
        const Message again = decodeJson<Message>(encoded);
        QCOMPARE(again.messageId, original.messageId);
        QCOMPARE(again.slot, original.slot);
        QVERIFY(again.content == original.content);
        QVERIFY(again.schedule == original.schedule);
        QCOMPARE(toJsonText(again.toJson()), encoded);
    }

    void messagesAreEqualByIdAlone()
    {
        const Message first{QStringLiteral("same"), QStringLiteral("slot"), MessageContent{}, MessageSchedule{}};
        Message second = first;
        second.slot.reset();
        second.content.simpleText = SimpleTextMessageContent{QStringLiteral("t"), QStringLiteral("b")};
        QVERIFY(first == second);
        Message third = first;
        third.messageId = QStringLiteral("other");
        QVERIFY(first != third);
    }

    void meetingDurationReading_data()
    {
        QTest::addColumn<std::optional<QString>>("duration");
        QTest::addColumn<std::optional<double>>("seconds");
        QTest::newRow("seconds with s") << std::optional<QString>(QStringLiteral("90s")) << std::optional<double>(90);
        QTest::newRow("fraction") << std::optional<QString>(QStringLiteral("1834.5s")) << std::optional<double>(1834.5);
        QTest::newRow("every s removed") << std::optional<QString>(QStringLiteral("s12ss"))
                                         << std::optional<double>(12);
        QTest::newRow("no unit") << std::optional<QString>(QStringLiteral("7")) << std::optional<double>(7);
        QTest::newRow("minutes are not read")
            << std::optional<QString>(QStringLiteral("5m")) << std::optional<double>();
        QTest::newRow("absent") << std::optional<QString>() << std::optional<double>();
    }

    void meetingDurationReading()
    {
        QFETCH(std::optional<QString>, duration);
        QFETCH(std::optional<double>, seconds);
        MeetingReportMessageContent report;
        report.meetingDuration = duration;
        QCOMPARE(report.meetingDurationSeconds(), seconds);
    }
};

QTEST_GUILESS_MAIN(ApiMessagesTest)
#include "tst_apimessages.moc"
