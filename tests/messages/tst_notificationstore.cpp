#include "MessageFixtures.h"
#include "messages/NotificationStore.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using namespace brelta::testsupport::messages;
using brelta::messages::NotificationStore;
using brelta::platform::ManualClock;
using brelta::platform::SettingsStore;

namespace {

const QString kHistoryKey = QStringLiteral("displayedNotificationsNew");

QStringList ids(const NotificationStore &store)
{
    return store.currentIds();
}

QStringList historyIds(const NotificationStore &store)
{
    QStringList result;
    for (const auto &item : store.history())
        result << item.message.messageId;
    return result;
}

nlohmann::json storedHistory(const SettingsStore &settings)
{
    return nlohmann::json::parse(settings.text(kHistoryKey).value_or(QString()).toStdString());
}

} // namespace

class NotificationStoreTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<NotificationStore> m_store;

    void reopen()
    {
        m_store.reset();
        m_settings = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("brelta.ini")));
        m_store = std::make_unique<NotificationStore>(m_settings.get(), m_clock.get());
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath(QStringLiteral("brelta.ini")));
        m_clock = std::make_unique<ManualClock>(QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC));
        reopen();
    }

    void newestMessageBecomesTheHead()
    {
        QSignalSpy changed(m_store.get(), &NotificationStore::currentMessagesChanged);
        m_store->enqueue(message(QStringLiteral("a")));
        m_store->enqueue(message(QStringLiteral("b")));
        QCOMPARE(ids(*m_store), (QStringList{"b", "a"}));
        QCOMPARE(changed.count(), 2);

        m_store->dismissCurrent();
        QCOMPARE(ids(*m_store), (QStringList{"a"}));
        m_store->dismissCurrent();
        QVERIFY(ids(*m_store).isEmpty());
        m_store->dismissCurrent();
        QVERIFY(ids(*m_store).isEmpty());
        QCOMPARE(changed.count(), 4);
    }

    // A close takes note of the queue and removes those ids half a second later; what arrived in between
    // stays, and a message shown again under the same id loses only its older copy.
    void dismissByIdKeepsWhatArrivedAfterTheClose()
    {
        m_store->enqueue(message(QStringLiteral("a")));
        m_store->enqueue(message(QStringLiteral("b")));
        const QStringList atClose = m_store->currentIds();
        m_store->enqueue(message(QStringLiteral("c")));
        m_store->enqueue(message(QStringLiteral("a"), Kind::MeetingReport));

        m_store->dismiss(atClose);
        QCOMPARE(ids(*m_store), (QStringList{"a", "c"}));
        QVERIFY(m_store->currentMessages().first().content.meetingReport);

        QSignalSpy changed(m_store.get(), &NotificationStore::currentMessagesChanged);
        m_store->dismiss({QStringLiteral("gone")});
        QCOMPARE(changed.count(), 0);
        m_store->clear();
        QVERIFY(ids(*m_store).isEmpty());
        QCOMPARE(changed.count(), 1);
    }

    void historyKeepsOnlyShownKinds_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("kept");
        QTest::newRow("simple text") << int(Kind::SimpleText) << true;
        QTest::newRow("meeting report") << int(Kind::MeetingReport) << true;
        QTest::newRow("no content") << int(Kind::Empty) << true;
        QTest::newRow("meeting-start reminder") << int(Kind::EventStart) << false;
        QTest::newRow("meeting-end reminder") << int(Kind::EventEnd) << false;
    }

    void historyKeepsOnlyShownKinds()
    {
        QFETCH(int, kind);
        QFETCH(bool, kept);
        QSignalSpy changed(m_store.get(), &NotificationStore::historyChanged);
        QCOMPARE(m_store->addToHistory(message(QStringLiteral("m"), Kind(kind))), kept);
        QCOMPARE(historyIds(*m_store), kept ? QStringList{"m"} : QStringList{});
        QCOMPARE(changed.count(), kept ? 1 : 0);
    }

    void historyHoldsEachIdOnceWithItsFirstDate()
    {
        const QDateTime first = m_clock->now();
        QVERIFY(m_store->addToHistory(message(QStringLiteral("a"))));
        m_clock->advance(60s);
        QVERIFY(m_store->addToHistory(message(QStringLiteral("b"))));
        m_clock->advance(60s);
        QVERIFY(!m_store->addToHistory(message(QStringLiteral("a"), Kind::MeetingReport)));

        reopen();
        const auto history = m_store->history();
        QCOMPARE(historyIds(*m_store), (QStringList{"b", "a"}));
        QCOMPARE(history.at(1).shownAt(), first);
        QVERIFY(history.at(1).message.content.simpleText);
        // Seconds since 2001-01-01 UTC.
        QCOMPARE(storedHistory(*m_settings).at(1).at("dateShown").get<double>(),
                 double(first.toSecsSinceEpoch() - 978307200));
    }

    void storedFractionalDateRoundTrips()
    {
        const std::string item =
            R"({"dateShown":731000000.5,"message":{"messageId":"old","content":{"simpleText":{"title":"T","body":"B"}},"schedule":{"asap":{}}}})";
        m_settings->setText(kHistoryKey, QString::fromStdString("[" + item + "]"));
        reopen();
        const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        QCOMPARE(m_store->history().at(0).shownAt(), reference.addMSecs(731000000500));
        QCOMPARE(m_store->history().at(0).dateShown, 731000000.5);

        QVERIFY(m_store->addToHistory(message(QStringLiteral("new"))));
        const nlohmann::json stored = storedHistory(*m_settings);
        QCOMPARE(stored.size(), size_t(2));
        QVERIFY(stored.at(1) == nlohmann::json::parse(item));
        QVERIFY(m_settings->text(kHistoryKey)->contains(QStringLiteral(R"("dateShown":731000000.5,)")));
    }

    void unreadableHistoryIsReplacedAtTheNextAddition_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("garbage") << QStringLiteral("not json {");
        QTest::newRow("object") << QStringLiteral(R"({"dateShown": 1})");
    }

    void unreadableHistoryIsReplacedAtTheNextAddition()
    {
        QFETCH(QString, stored);
        m_settings->setText(kHistoryKey, stored);
        reopen();
        QVERIFY(m_store->history().empty());
        QVERIFY(m_store->addToHistory(message(QStringLiteral("a"))));
        QCOMPARE(historyIds(*m_store), (QStringList{"a"}));
        QCOMPARE(storedHistory(*m_settings).size(), size_t(1));
    }

    // One element that cannot be read is kept as it was and still counts for its id; the others read.
    void badElementIsKeptRaw()
    {
        const std::string bad = R"({"dateShown":"yesterday","message":{"messageId":"bad"}})";
        const std::string good = R"({"dateShown":700000000,"message":{"messageId":"good","content":{},"schedule":{}}})";
        m_settings->setText(kHistoryKey, QString::fromStdString("[" + bad + "," + good + "]"));
        reopen();
        QCOMPARE(historyIds(*m_store), (QStringList{"good"}));
        QCOMPARE(m_store->historyMessageIds(), (QSet<QString>{"good", "bad"}));
        QVERIFY(!m_store->addToHistory(message(QStringLiteral("bad"))));

        QVERIFY(m_store->addToHistory(message(QStringLiteral("new"))));
        const nlohmann::json stored = storedHistory(*m_settings);
        QCOMPARE(stored.size(), size_t(3));
        QCOMPARE(stored.at(0).at("message").at("messageId").get<std::string>(), std::string("new"));
        QCOMPARE(stored.at(1).at("message").at("messageId").get<std::string>(), std::string("good"));
        QVERIFY(stored.at(2) == nlohmann::json::parse(bad));
    }

    void clearedHistoryStaysEmptyAfterARestart()
    {
        QVERIFY(m_store->addToHistory(message(QStringLiteral("a"))));
        m_store->clearHistory();
        reopen();
        QVERIFY(m_store->history().empty());
        QVERIFY(m_store->historyMessageIds().isEmpty());
    }
};

QTEST_GUILESS_MAIN(NotificationStoreTest)
#include "tst_notificationstore.moc"
