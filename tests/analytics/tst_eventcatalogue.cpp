#include "analytics/Event.h"
#include "analytics/TrackableEvent.h"

#include <QTest>

#include <algorithm>
#include <functional>

using brelta::analytics::TrackableEvent;
using brelta::platform::AnalyticsProperties;
using brelta::platform::JsonDecodeError;
namespace event = brelta::analytics::event;

namespace {

QString describe(const AnalyticsProperties &properties)
{
    return QString::fromStdString(brelta::platform::toJson(properties).dump());
}

QString describe(const nlohmann::ordered_json &json)
{
    return QString::fromStdString(json.dump());
}

template<TrackableEvent E>
QStringList fieldKeys(const E &value)
{
    QStringList keys;
    E::fields(value, [&keys](std::string_view key, const auto &) {
        keys << QString::fromLatin1(key.data(), qsizetype(key.size()));
    });
    return keys;
}

template<typename E>
QString rawText(E value)
{
    const std::string_view raw = brelta::platform::enumRawValue(value);
    return QString::fromUtf8(raw.data(), qsizetype(raw.size()));
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

template<TrackableEvent E>
void addEventRow(const char *tag, const QString &literal, const QStringList &fieldsAfterName)
{
    const E built{};
    QStringList propertyKeys;
    QString mediaType;
    for (const auto &[key, value] : brelta::analytics::properties(built)) {
        propertyKeys << key;
        if (key == QLatin1String("media_type"))
            mediaType = std::get<QString>(value);
    }
    QTest::newRow(tag) << literal << fieldsAfterName << built.name
                       << QString::fromLatin1(E::literal.data(), qsizetype(E::literal.size())) << fieldKeys(built)
                       << propertyKeys << mediaType;
}

const QStringList kRecordingFields{"media_type", "media_format"};

// Reads `text` as the event named by `type` and throws what decoding throws.
void decodeAs(const QString &type, const QByteArray &text)
{
    using Decoder = std::function<void(const QByteArray &)>;
    static const QHash<QString, Decoder> decoders{
        {"RecordingPauseFailed",
         [](const QByteArray &t) { brelta::analytics::decodeEvent<event::RecordingPauseFailed>(t); }},
        {"RecordingSent", [](const QByteArray &t) { brelta::analytics::decodeEvent<event::RecordingSent>(t); }},
        {"InteractionTaken", [](const QByteArray &t) { brelta::analytics::decodeEvent<event::InteractionTaken>(t); }},
        {"ScreenShown", [](const QByteArray &t) { brelta::analytics::decodeEvent<event::ScreenShown>(t); }},
        {"SyncGoogleCalendarEvents",
         [](const QByteArray &t) { brelta::analytics::decodeEvent<event::SyncGoogleCalendarEvents>(t); }},
    };
    decoders.value(type)(text);
}

} // namespace

class EventCatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void everyEventHasItsLiteralAndKeys_data()
    {
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QStringList>("fieldsAfterName");
        QTest::addColumn<QString>("builtName");
        QTest::addColumn<QString>("declaredLiteral");
        QTest::addColumn<QStringList>("visitedFields");
        QTest::addColumn<QStringList>("propertyKeys");
        QTest::addColumn<QString>("mediaType");

        addEventRow<event::RecordingStartFailed>("RecordingStartFailed", "Recording Start Failed", kRecordingFields);
        addEventRow<event::RecordingStartSucceeded>("RecordingStartSucceeded", "Recording Start Succeeded",
                                                    kRecordingFields + QStringList{"recording_title"});
        addEventRow<event::RecordingPauseFailed>("RecordingPauseFailed", "Recording Pause Failed",
                                                 kRecordingFields + QStringList{"error_message"});
        addEventRow<event::RecordingPauseSucceeded>("RecordingPauseSucceeded", "Recording Pause Succeeded",
                                                    kRecordingFields);
        addEventRow<event::RecordingResumeFailed>("RecordingResumeFailed", "Recording Resume Failed",
                                                  kRecordingFields + QStringList{"error_message"});
        addEventRow<event::RecordingResumeSucceeded>("RecordingResumeSucceeded", "Recording Resume Succeeded",
                                                     kRecordingFields);
        addEventRow<event::RecordingEndFailed>("RecordingEndFailed", "Recording End Failed",
                                               kRecordingFields + QStringList{"error_message"});
        addEventRow<event::RecordingEndSucceeded>(
            "RecordingEndSucceeded", "Recording End Succeeded",
            kRecordingFields + QStringList{"recording_title", "recording_length_sec", "recording_size_bytes"});
        const QStringList uploadFields{"recording_title", "recording_length_sec", "recording_size_bytes", "is_retry"};
        addEventRow<event::RecordingUploadStarted>("RecordingUploadStarted", "Recording Upload Started",
                                                   kRecordingFields + uploadFields);
        addEventRow<event::RecordingUploadFailed>("RecordingUploadFailed", "Recording Upload Failed",
                                                  QStringList{"media_type", "reason", "media_format"} + uploadFields);
        addEventRow<event::RecordingSent>("RecordingSent", "Recording Sent", kRecordingFields + uploadFields);
        addEventRow<event::SyncGoogleCalendarEvents>("SyncGoogleCalendarEvents", "Sync Google Calendar Events", {});
        addEventRow<event::SchedulePreMeetingNudge>("SchedulePreMeetingNudge", "Schedule Pre-Meeting Nudge",
                                                    {"event_name", "event_start_time"});
        addEventRow<event::ScheduleNotificationMessage>(
            "ScheduleNotificationMessage", "Schedule Notification Message",
            {"message_id", "message_slot", "schedule_date", "schedule_local_date"});
        addEventRow<event::ShowScheduledNotificationMessage>(
            "ShowScheduledNotificationMessage", "Show Scheduled Notification Message", {"message_id", "message_slot"});
        addEventRow<event::ComponentShown>("ComponentShown", "Component Shown",
                                           {"component_name", "screen_name", "component_value"});
        addEventRow<event::InteractionTaken>(
            "InteractionTaken", "Interaction Taken",
            {"screen_name", "interaction_type", "component_name", "component_value", "interaction_value"});
        addEventRow<event::ScreenShown>("ScreenShown", "Screen Shown", {"screen_name", "screen_value"});
    }

    void everyEventHasItsLiteralAndKeys()
    {
        QFETCH(QString, literal);
        QFETCH(QStringList, fieldsAfterName);
        QFETCH(QString, builtName);
        QFETCH(QString, declaredLiteral);
        QFETCH(QStringList, visitedFields);
        QFETCH(QStringList, propertyKeys);
        QFETCH(QString, mediaType);

        QCOMPARE(declaredLiteral, literal);
        QCOMPARE(builtName, literal);
        QCOMPARE(visitedFields, QStringList{"name"} + fieldsAfterName);
        QCOMPARE(sorted(propertyKeys), sorted(QStringList{"schema_version", "source_type", "name"} + fieldsAfterName));
        if (fieldsAfterName.contains(QLatin1String("media_type")))
            QCOMPARE(mediaType, QStringLiteral("AUDIO"));
    }

    void recordingSentBecomesNineProperties()
    {
        const event::RecordingSent sent{.mediaFormat = QStringLiteral("m4a"),
                                        .recordingTitle =
                                            QStringLiteral("practice_6d1c0e55f2a84b0c9e3f7a21b4d85c90.m4a"),
                                        .recordingLengthSec = 754,
                                        .recordingSizeBytes = 3021456,
                                        .isRetry = false};
        const AnalyticsProperties expected{
            {"schema_version", qint64(6)},
            {"source_type", QStringLiteral("Mac App (production)")},
            {"name", QStringLiteral("Recording Sent")},
            {"media_type", QStringLiteral("AUDIO")},
            {"media_format", QStringLiteral("m4a")},
            {"recording_title", QStringLiteral("practice_6d1c0e55f2a84b0c9e3f7a21b4d85c90.m4a")},
            {"recording_length_sec", qint64(754)},
            {"recording_size_bytes", qint64(3021456)},
            {"is_retry", false},
        };
        const AnalyticsProperties actual = brelta::analytics::properties(sent);
        QCOMPARE(actual.size(), size_t(9));
        QCOMPARE(describe(actual), describe(expected));

        event::RecordingSent withoutRetry = sent;
        withoutRetry.isRetry.reset();
        AnalyticsProperties expectedWithoutRetry = expected;
        expectedWithoutRetry["is_retry"] = nullptr;
        QCOMPARE(describe(brelta::analytics::properties(withoutRetry)), describe(expectedWithoutRetry));
    }

    void interactionTakenSendsRawValuesAndNulls()
    {
        const event::InteractionTaken taken{.screenName = event::ScreenName::MainView,
                                            .interactionType = event::InteractionType::Click,
                                            .componentName = event::ComponentName::StartRecordingButton};
        const AnalyticsProperties expected{
            {"schema_version", qint64(6)},
            {"source_type", QStringLiteral("Mac App (production)")},
            {"name", QStringLiteral("Interaction Taken")},
            {"screen_name", QStringLiteral("Main View")},
            {"interaction_type", QStringLiteral("CLICK")},
            {"component_name", QStringLiteral("Start Recording Button")},
            {"component_value", nullptr},
            {"interaction_value", nullptr},
        };
        QCOMPARE(describe(brelta::analytics::properties(taken)), describe(expected));
    }

    void syncGoogleCalendarEventsHasThreeProperties()
    {
        const AnalyticsProperties expected{
            {"schema_version", qint64(6)},
            {"source_type", QStringLiteral("Mac App (production)")},
            {"name", QStringLiteral("Sync Google Calendar Events")},
        };
        QCOMPARE(describe(brelta::analytics::properties(event::SyncGoogleCalendarEvents{})), describe(expected));
        QCOMPARE(describe(brelta::analytics::toJson(event::SyncGoogleCalendarEvents{})),
                 QStringLiteral(R"({"name":"Sync Google Calendar Events"})"));
    }

    void jsonLeavesAbsentOptionalsOut()
    {
        const event::RecordingEndSucceeded ended{.mediaFormat = QStringLiteral("m4a")};
        QCOMPARE(describe(brelta::analytics::toJson(ended)),
                 QStringLiteral(R"({"name":"Recording End Succeeded","media_type":"AUDIO","media_format":"m4a"})"));
        const event::RecordingSent sent{.mediaFormat = QStringLiteral("m4a")};
        QCOMPARE(describe(brelta::analytics::toJson(sent)),
                 QStringLiteral(R"({"name":"Recording Sent","media_type":"AUDIO","media_format":"m4a",)"
                                R"("recording_length_sec":0,"recording_size_bytes":0})"));
    }

    void jsonRoundTripKeepsEveryField()
    {
        const event::InteractionTaken taken{.screenName = event::ScreenName::GoogleCalendarIntegrationReminderPopover,
                                            .interactionType = event::InteractionType::Scroll,
                                            .componentName = event::ComponentName::AllowSystemAudioPermission,
                                            .componentValue = QStringLiteral("on"),
                                            .interactionValue = QStringLiteral("ü")};
        const QByteArray text = brelta::platform::toJsonText(brelta::analytics::toJson(taken));
        const auto read = brelta::analytics::decodeEvent<event::InteractionTaken>(text);
        QCOMPARE(describe(brelta::analytics::properties(read)), describe(brelta::analytics::properties(taken)));
    }

    void decodingReadsOptionalsAndKeepsTheName()
    {
        const auto resumed = brelta::analytics::decodeEvent<event::RecordingResumeFailed>(
            R"({"name":"Recording Resume Failed","media_type":"AUDIO","media_format":"m4a","error_message":null})");
        QVERIFY(!resumed.errorMessage.has_value());

        const auto renamed = brelta::analytics::decodeEvent<event::RecordingPauseSucceeded>(
            R"json({"name":"Paused (old client)","media_type":"AUDIO","media_format":"m4a"})json");
        QCOMPARE(renamed.name, QStringLiteral("Paused (old client)"));
        QCOMPARE(std::get<QString>(brelta::analytics::properties(renamed).at("name")), renamed.name);
    }

    void decodingRefusesBadInput_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("path");

        QTest::newRow("required error_message missing")
            << "RecordingPauseFailed" << QByteArray(R"({"name":"x","media_type":"AUDIO","media_format":"m4a"})")
            << "error_message";
        QTest::newRow("name missing") << "SyncGoogleCalendarEvents" << QByteArray("{}") << "name";
        QTest::newRow("not an object") << "SyncGoogleCalendarEvents" << QByteArray(R"(["name"])") << "(root)";
        QTest::newRow("length as text") << "RecordingSent"
                                        << QByteArray(R"({"name":"x","media_type":"AUDIO","media_format":"m4a",)"
                                                      R"("recording_length_sec":"754","recording_size_bytes":1})")
                                        << "recording_length_sec";
        QTest::newRow("interaction type in lower case")
            << "InteractionTaken"
            << QByteArray(R"({"name":"x","screen_name":"Main View","interaction_type":"click",)"
                          R"("component_name":"Pre-Meeting Nudge"})")
            << "interaction_type";
        QTest::newRow("unknown screen") << "ScreenShown" << QByteArray(R"({"name":"x","screen_name":"Home"})")
                                        << "screen_name";
        QTest::newRow("not JSON") << "ScreenShown" << QByteArray("{") << "(root)";
    }

    void decodingRefusesBadInput()
    {
        QFETCH(QString, type);
        QFETCH(QByteArray, text);
        QFETCH(QString, path);
        try {
            decodeAs(type, text);
            QFAIL("decoding succeeded");
        } catch (const JsonDecodeError &error) {
            QCOMPARE(QString::fromStdString(error.path()), path);
        }
    }

    void enumerationRawValues_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("madeBack"); // the raw value of the case the text makes; empty = none

        using brelta::platform::JsonEnum;
        auto addAll = [](const auto &values) {
            for (const auto &[value, text] : values) {
                const QString raw = QString::fromUtf8(text.data(), qsizetype(text.size()));
                QTest::newRow(qPrintable(raw)) << raw << raw;
            }
        };
        addAll(JsonEnum<event::ScreenName>::values);
        addAll(JsonEnum<event::ComponentName>::values);
        addAll(JsonEnum<event::InteractionType>::values);
        QTest::newRow("lower-case click") << "click"
                                          << "";
        QTest::newRow("corrected spelling") << "Allow SystemAudio Permission"
                                            << "";
        QTest::newRow("trailing space") << "Main View "
                                        << "";
    }

    void enumerationRawValues()
    {
        QFETCH(QString, raw);
        QFETCH(QString, madeBack);
        const std::string text = raw.toStdString();
        using namespace brelta::platform;
        QString found;
        if (const auto screen = enumFromRawValue<event::ScreenName>(text))
            found = rawText(*screen);
        else if (const auto component = enumFromRawValue<event::ComponentName>(text))
            found = rawText(*component);
        else if (const auto interaction = enumFromRawValue<event::InteractionType>(text))
            found = rawText(*interaction);
        QCOMPARE(found, madeBack);
    }

    void theVocabulariesAreComplete()
    {
        using brelta::platform::JsonEnum;
        QCOMPARE(JsonEnum<event::ScreenName>::values.size(), size_t(6));
        QCOMPARE(JsonEnum<event::ComponentName>::values.size(), size_t(10));
        QCOMPARE(JsonEnum<event::InteractionType>::values.size(), size_t(3));
        QCOMPARE(rawText(event::ComponentName::AllowSystemAudioPermission),
                 QStringLiteral("Allow SystemAudio Permmission"));
        QCOMPARE(rawText(event::ComponentName::AllowMicrophonePermission),
                 QStringLiteral("Allow Microphone Permission"));
        QCOMPARE(rawText(event::ScreenName::GoogleCalendarIntegrationReminderPopover).size(), 44);
    }
};

QTEST_GUILESS_MAIN(EventCatalogueTest)
#include "tst_eventcatalogue.moc"
