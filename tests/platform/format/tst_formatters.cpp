#include "platform/format/DateFormatters.h"
#include "platform/format/EmailCheck.h"
#include "platform/format/ReferenceDate.h"

#include <QTest>

#include <cmath>
#include <ctime>
#include <limits>

namespace format = brelta::platform::format;

namespace {

QDateTime utc(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc());
}

// The process's zone, as a user's TZ sets it.
class TimeZoneScope
{
public:
    explicit TimeZoneScope(const QByteArray &zone)
        : m_previous(qgetenv("TZ"))
        , m_hadPrevious(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        ::tzset();
    }
    ~TimeZoneScope()
    {
        if (m_hadPrevious)
            qputenv("TZ", m_previous);
        else
            qunsetenv("TZ");
        ::tzset();
    }

private:
    QByteArray m_previous;
    bool m_hadPrevious;
};

} // namespace

class FormattersTest : public QObject
{
    Q_OBJECT

private slots:
    void displayFormats_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QString>("dayAndTime");
        QTest::addColumn<QString>("time");

        const QDateTime afternoon = utc(2024, 3, 5, 14, 7, 9);
        const QDateTime morning = utc(2024, 12, 24, 9, 30, 0);
        QTest::newRow("en_US afternoon") << "en_US" << afternoon << "Mar 5 at 2:07 PM"
                                         << "2:07 PM";
        QTest::newRow("en_US morning") << "en_US" << morning << "Dec 24 at 9:30 AM"
                                       << "9:30 AM";
        QTest::newRow("de_DE afternoon") << "de_DE" << afternoon << "März 5 at 2:07 PM"
                                         << "2:07 PM";
        QTest::newRow("de_DE morning") << "de_DE" << morning << "Dez. 24 at 9:30 AM"
                                       << "9:30 AM";
        QTest::newRow("midnight is 12 AM") << "en_US" << utc(2024, 1, 1, 0, 5, 0) << "Jan 1 at 12:05 AM"
                                           << "12:05 AM";
        QTest::newRow("invalid") << "en_US" << QDateTime() << ""
                                 << "";
    }

    void displayFormats()
    {
        QFETCH(QString, locale);
        QFETCH(QDateTime, moment);
        QFETCH(QString, dayAndTime);
        QFETCH(QString, time);
        QCOMPARE(format::dayAndTime(moment, QLocale(locale), QTimeZone::utc()), dayAndTime);
        QCOMPARE(format::timeOfDay(moment, QLocale(locale), QTimeZone::utc()), time);
    }

    void displayFormatsUseTheGivenZone()
    {
        const QDateTime moment = utc(2024, 7, 5, 22, 30, 0);
        QCOMPARE(format::dayAndTime(moment, QLocale(QStringLiteral("en_US")), QTimeZone("Europe/Berlin")),
                 QStringLiteral("Jul 6 at 12:30 AM"));
    }

    // The last second of the local day, also on days when the clocks change; and with the user's TZ.
    void endOfDay_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QDate>("day");

        QTest::newRow("an ordinary day in Berlin")
            << QByteArray("Europe/Berlin") << utc(2024, 3, 5, 11, 0, 0) << QDate(2024, 3, 5);
        QTest::newRow("Berlin, clocks forward at 02:00")
            << QByteArray("Europe/Berlin") << utc(2024, 3, 31, 0, 30, 0) << QDate(2024, 3, 31);
        QTest::newRow("Berlin, clocks back at 03:00")
            << QByteArray("Europe/Berlin") << utc(2024, 10, 27, 22, 0, 0) << QDate(2024, 10, 27);
        // 2018-11-04 00:00 never happened in São Paulo: the next day starts at 01:00.
        QTest::newRow("São Paulo, midnight skipped the next day")
            << QByteArray("America/Sao_Paulo") << utc(2018, 11, 3, 15, 0, 0) << QDate(2018, 11, 3);
        // 2019-02-17 00:00 came twice in São Paulo: the day ends at the second 23:59:59.
        QTest::newRow("São Paulo, the hour before midnight repeated")
            << QByteArray("America/Sao_Paulo") << utc(2019, 2, 16, 15, 0, 0) << QDate(2019, 2, 16);
        QTest::newRow("just before midnight stays that day")
            << QByteArray("Asia/Tokyo") << utc(2024, 6, 1, 14, 59, 59) << QDate(2024, 6, 1);
    }

    void endOfDay()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, moment);
        QFETCH(QDate, day);
        const TimeZoneScope scope(zone);
        QCOMPARE(QTimeZone::systemTimeZoneId(), zone);

        const QDateTime end = format::endOfDay(moment);
        QVERIFY(end.isValid());
        const QDateTime local = end.toTimeZone(QTimeZone(zone));
        QCOMPARE(local.date(), day);
        QCOMPARE(local.time(), QTime(23, 59, 59));
        // One second later is the next day's first moment.
        QCOMPARE(end.addSecs(1), day.addDays(1).startOfDay(QTimeZone(zone)));
    }

    void emailCheck_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "jane.doe@example.com" << true;
        QTest::newRow("plus and percent") << "jane+tag%x@mail.example.co.uk" << true;
        QTest::newRow("top-level of two letters") << "a@b.de" << true;
        QTest::newRow("top-level of one letter") << "a@b.c" << false;
        QTest::newRow("top-level of digits") << "a@b.12" << false;
        QTest::newRow("no at sign") << "jane.example.com" << false;
        QTest::newRow("trailing space") << "jane@example.com " << false;
        QTest::newRow("two addresses") << "a@b.de c@d.de" << false;
        QTest::newRow("text around the address") << "mail me: jane@example.com" << false;
        QTest::newRow("line break after") << "jane@example.com\nx" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("top-level of 65 letters") << ("a@b." + QString(65, QLatin1Char('x'))) << false;
    }

    void emailCheck()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(format::isValidEmail(text), valid);
    }

    void referenceDates_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QDateTime>("moment");
        QTest::newRow("the reference date") << 0.0 << utc(2001, 1, 1, 0, 0, 0);
        QTest::newRow("a day later") << 86400.0 << utc(2001, 1, 2, 0, 0, 0);
        QTest::newRow("before it") << -1.0 << utc(2000, 12, 31, 23, 59, 59);
        QTest::newRow("with a fraction") << 731323229.5 << utc(2024, 3, 5, 9, 20, 29).addMSecs(500);
    }

    void referenceDates()
    {
        QFETCH(double, seconds);
        QFETCH(QDateTime, moment);
        QCOMPARE(format::secondsSinceReferenceDate(moment), seconds);
        const std::optional<QDateTime> read = format::dateFromReferenceSeconds(seconds);
        QVERIFY(read);
        QCOMPARE(*read, moment);
    }

    void damagedReferenceDatesAreRefused_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
        QTest::newRow("beyond any calendar") << 1e300;
        QTest::newRow("past the year 9999") << 2.6e11;
    }

    void damagedReferenceDatesAreRefused()
    {
        QFETCH(double, seconds);
        QVERIFY(!format::dateFromReferenceSeconds(seconds));
    }
};

QTEST_GUILESS_MAIN(FormattersTest)
#include "tst_formatters.moc"
