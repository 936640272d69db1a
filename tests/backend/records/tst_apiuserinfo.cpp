#include "backend/records/ApiQuomblerDto.h"
#include "backend/records/ApiTips.h"

#include <QTest>

using namespace brelta::backend;
using ApiQuomblerDto::Feature;
using brelta::platform::decodeJson;
using brelta::platform::JsonDecodeError;

class ApiUserInfoTest : public QObject
{
    Q_OBJECT

private slots:
    void userInfo_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error"); // empty = decodes
        QTest::addColumn<QList<Feature>>("features");

        QTest::newRow("no features") << QByteArray(R"({"userInfo": {"identityId": "id-1", "enabledFeatures": []}})")
                                     << QString() << QList<Feature>();
        QTest::newRow("development and the experiment recorder")
            << QByteArray(
                   R"({"userInfo": {"identityId": "id-1", "enabledFeatures":)"
                   R"( ["FEATURE_DEVELOPMENT", "FEATURE_USE_EXPERIMENT_AUDIO_RECORDER"], "plan": "pro"}, "x": 1})")
            << QString() << QList<Feature>{Feature::Development, Feature::UseExperimentAudioRecorder};
        QTest::newRow("every known feature")
            << QByteArray(R"({"userInfo": {"identityId": "", "enabledFeatures": ["FEATURE_UNSPECIFIED",)"
                          R"( "FEATURE_ASSISTANT_CHAT"]}})")
            << QString() << QList<Feature>{Feature::Unspecified, Feature::AssistantChat};
        QTest::newRow("an unknown feature beside a known one")
            << QByteArray(R"({"userInfo": {"identityId": "id-1", "enabledFeatures":)"
                          R"( ["FEATURE_USE_EXPERIMENT_AUDIO_RECORDER", "FEATURE_TELEPATHY"]}})")
            << "userInfo.enabledFeatures[1]: unknown value \"FEATURE_TELEPATHY\"" << QList<Feature>();
        QTest::newRow("lower-case feature") << QByteArray(
            R"({"userInfo": {"identityId": "id-1", "enabledFeatures": ["feature_use_experiment_audio_recorder"]}})")
                                            << "userInfo.enabledFeatures[0]: unknown value "
                                               "\"feature_use_experiment_audio_recorder\""
                                            << QList<Feature>();
        QTest::newRow("a feature that is not text")
            << QByteArray(R"({"userInfo": {"identityId": "id-1", "enabledFeatures": [3]}})")
            << "userInfo.enabledFeatures[0]: expected string, got number" << QList<Feature>();
        QTest::newRow("no identity id") << QByteArray(R"({"userInfo": {"enabledFeatures": []}})")
                                        << "userInfo.identityId: missing" << QList<Feature>();
        QTest::newRow("no feature list") << QByteArray(R"({"userInfo": {"identityId": "id-1"}})")
                                         << "userInfo.enabledFeatures: missing" << QList<Feature>();
        QTest::newRow("feature list null")
            << QByteArray(R"({"userInfo": {"identityId": "id-1", "enabledFeatures": null}})")
            << "userInfo.enabledFeatures: missing (null)" << QList<Feature>();
        QTest::newRow("no user info") << QByteArray("{}") << "userInfo: missing" << QList<Feature>();
    }

    void userInfo()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        QFETCH(QList<Feature>, features);
        try {
            const ApiQuomblerDto::UserInfo info = decodeJson<ApiQuomblerDto::GetUserInfoResponse>(body).userInfo;
            QVERIFY2(error.isEmpty(), "the answer decoded");
            QCOMPARE(QList<Feature>(info.enabledFeatures.begin(), info.enabledFeatures.end()), features);
            QCOMPARE(info.hasFeature(Feature::UseExperimentAudioRecorder),
                     features.contains(Feature::UseExperimentAudioRecorder));
        } catch (const JsonDecodeError &failure) {
            QCOMPARE(QString::fromUtf8(failure.what()), error);
        }
    }

    void featureTexts_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<std::optional<Feature>>("feature");
        QTest::newRow("unspecified") << "FEATURE_UNSPECIFIED" << std::optional<Feature>(Feature::Unspecified);
        QTest::newRow("development") << "FEATURE_DEVELOPMENT" << std::optional<Feature>(Feature::Development);
        QTest::newRow("assistant chat") << "FEATURE_ASSISTANT_CHAT" << std::optional<Feature>(Feature::AssistantChat);
        QTest::newRow("experiment recorder")
            << "FEATURE_USE_EXPERIMENT_AUDIO_RECORDER" << std::optional<Feature>(Feature::UseExperimentAudioRecorder);
        QTest::newRow("lower case") << "feature_development" << std::optional<Feature>();
        QTest::newRow("trailing space") << "FEATURE_DEVELOPMENT " << std::optional<Feature>();
        QTest::newRow("empty") << "" << std::optional<Feature>();
    }

    void featureTexts()
    {
        QFETCH(QString, raw);
        QFETCH(std::optional<Feature>, feature);
        QCOMPARE(ApiQuomblerDto::featureFromRawValue(raw), feature);
        if (feature)
            QCOMPARE(ApiQuomblerDto::featureRawValue(*feature), raw);
    }

    void coachingTips_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error"); // empty = decodes
        QTest::addColumn<QStringList>("tips");

        QTest::newRow("two tips") << QByteArray(
            R"({"generatedCoachingTips": [{"tipText": "Pause before answering."}, {"tipText": "Smile", "id": 2}]})")
                                  << QString()
                                  << QStringList{QStringLiteral("Pause before answering."), QStringLiteral("Smile")};
        QTest::newRow("no tips") << QByteArray(R"({"generatedCoachingTips": []})") << QString() << QStringList();
        QTest::newRow("tip without text") << QByteArray(R"({"generatedCoachingTips": [{"tipText": "a"}, {}]})")
                                          << "generatedCoachingTips[1].tipText: missing" << QStringList();
        QTest::newRow("no tip list") << QByteArray(R"({"tips": []})") << "generatedCoachingTips: missing"
                                     << QStringList();
        QTest::newRow("tip list is text") << QByteArray(R"({"generatedCoachingTips": "Smile"})")
                                          << "generatedCoachingTips: expected array, got string" << QStringList();
    }

    void coachingTips()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        QFETCH(QStringList, tips);
        try {
            const auto response = decodeJson<ApiTips::GetCoachingTipsResponse>(body);
            QVERIFY2(error.isEmpty(), "the answer decoded");
            QStringList texts;
            for (const ApiTips::CoachingTip &tip : response.generatedCoachingTips)
                texts << tip.tipText;
            QCOMPARE(texts, tips);
        } catch (const JsonDecodeError &failure) {
            QCOMPARE(QString::fromUtf8(failure.what()), error);
        }
    }
};

QTEST_GUILESS_MAIN(ApiUserInfoTest)
#include "tst_apiuserinfo.moc"
