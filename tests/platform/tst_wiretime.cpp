#include "platform/WireTime.h"

#include <QLocale>
#include <QTest>

namespace wiretime = brelta::platform::wiretime;

namespace {

QDateTime utc(int year, int month, int day, int hour, int minute, int second, int ms = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::UTC);
}

QTimeZone zone(const char *id)
{
    return QTimeZone(QByteArray(id));
}

} // namespace

class WireTimeTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void formatsWithOffset_data()
    {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QTimeZone>("zone");
        QTest::addColumn<QString>("expected");

        QTest::newRow("Berlin in winter")
            << utc(2024, 3, 5, 13, 7, 9) << zone("Europe/Berlin") << "2024-03-05T14:07:09+0100";
        QTest::newRow("Berlin in summer")
            << utc(2024, 7, 5, 13, 7, 9) << zone("Europe/Berlin") << "2024-07-05T15:07:09+0200";
        QTest::newRow("UTC is +0000, not Z")
            << utc(2024, 3, 5, 13, 7, 9) << QTimeZone::utc() << "2024-03-05T13:07:09+0000";
        QTest::newRow("negative half-hour offset")
            << utc(2024, 1, 10, 2, 0, 0) << zone("America/St_Johns") << "2024-01-09T22:30:00-0330";
        QTest::newRow("positive half-hour offset crossing the year")
            << utc(2023, 12, 31, 20, 0, 0) << zone("Asia/Kolkata") << "2024-01-01T01:30:00+0530";
        QTest::newRow("milliseconds are dropped, not rounded")
            << utc(2024, 3, 5, 13, 7, 9, 999) << QTimeZone::utc() << "2024-03-05T13:07:09+0000";
        QTest::newRow("invalid moment") << QDateTime() << QTimeZone::utc() << "";
    }

    void formatsWithOffset()
    {
        QFETCH(QDateTime, moment);
        QFETCH(QTimeZone, zone);
        QFETCH(QString, expected);
        QVERIFY(zone.isValid());
        QCOMPARE(wiretime::formatWithOffset(moment, zone), expected);
        QCOMPARE(wiretime::formatLocal(moment, zone), expected.left(19));
    }

    void parsesWithOffset_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid = must not parse

        QTest::newRow("compact offset") << "2024-03-05T14:07:09+0100" << utc(2024, 3, 5, 13, 7, 9);
        QTest::newRow("offset with colon") << "2024-03-05T14:07:09+01:00" << utc(2024, 3, 5, 13, 7, 9);
        QTest::newRow("negative offset") << "2024-01-09T22:30:00-0330" << utc(2024, 1, 10, 2, 0, 0);
        QTest::newRow("Z") << "2024-03-05T13:07:09Z" << utc(2024, 3, 5, 13, 7, 9);
        QTest::newRow("leap day") << "2024-02-29T00:00:00+0000" << utc(2024, 2, 29, 0, 0, 0);
        QTest::newRow("no leap day in 2023") << "2023-02-29T00:00:00+0000" << QDateTime();
        QTest::newRow("month 13") << "2024-13-01T00:00:00+0000" << QDateTime();
        QTest::newRow("hour 24") << "2024-03-05T24:00:00+0000" << QDateTime();
        QTest::newRow("offset minutes 60") << "2024-03-05T14:07:09+0160" << QDateTime();
        QTest::newRow("no offset") << "2024-03-05T14:07:09" << QDateTime();
        QTest::newRow("trailing text") << "2024-03-05T14:07:09+0100 " << QDateTime();
        QTest::newRow("trailing line break") << "2024-03-05T14:07:09+0100\n" << QDateTime();
        QTest::newRow("trailing line break after Z") << "2024-03-05T13:07:09Z\n" << QDateTime();
        QTest::newRow("leading line break") << "\n2024-03-05T14:07:09+0100" << QDateTime();
        QTest::newRow("fraction") << "2024-03-05T14:07:09.5+0100" << QDateTime();
        QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("٢٠٢٤-03-05T14:07:09+0100") << QDateTime();
        QTest::newRow("empty") << "" << QDateTime();
    }

    void parsesWithOffset()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const std::optional<QDateTime> parsed = wiretime::parseWithOffset(text);
        QCOMPARE(parsed.has_value(), expected.isValid());
        if (parsed) {
            QCOMPARE(parsed->toUTC(), expected);
            // Formatting in the parsed offset gives the canonical text back.
            QCOMPARE(wiretime::formatWithOffset(*parsed, parsed->timeZone()).left(19), text.left(19));
        }
    }

    void localFormRoundTrips_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "2024-03-05T14:07:09" << true;
        QTest::newRow("midnight") << "2024-12-31T00:00:00" << true;
        QTest::newRow("with offset") << "2024-03-05T14:07:09+0100" << false;
        QTest::newRow("date only") << "2024-03-05" << false;
        QTest::newRow("trailing line break") << "2024-03-05T14:07:09\n" << false;
        QTest::newRow("impossible date") << "2024-04-31T10:00:00" << false;
    }

    void localFormRoundTrips()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const QTimeZone berlin = zone("Europe/Berlin");
        const std::optional<QDateTime> parsed = wiretime::parseLocal(text, berlin);
        QCOMPARE(parsed.has_value(), valid);
        if (parsed)
            QCOMPARE(wiretime::formatLocal(*parsed, berlin), text);
    }

    void localFormReadsTheWallClockOfItsZone()
    {
        const std::optional<QDateTime> parsed = wiretime::parseLocal(u"2024-07-05T15:07:09", zone("Europe/Berlin"));
        QVERIFY(parsed.has_value());
        QCOMPARE(parsed->toUTC(), utc(2024, 7, 5, 13, 7, 9));
        QCOMPARE(wiretime::formatLocal(utc(2024, 7, 5, 13, 7, 9), QTimeZone::utc()),
                 QStringLiteral("2024-07-05T13:07:09"));
    }

    // A reading the zone skips (spring forward) is the first instant after the jump.
    void localFormAcrossDaylightSavingChanges_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("in the gap") << "2024-03-31T02:30:00" << utc(2024, 3, 31, 1, 0, 0);
        QTest::newRow("gap start") << "2024-03-31T02:00:00" << utc(2024, 3, 31, 1, 0, 0);
        QTest::newRow("just before the gap") << "2024-03-31T01:59:59" << utc(2024, 3, 31, 0, 59, 59);
        QTest::newRow("gap end") << "2024-03-31T03:00:00" << utc(2024, 3, 31, 1, 0, 0);
    }

    void localFormAcrossDaylightSavingChanges()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const std::optional<QDateTime> parsed = wiretime::parseLocal(text, zone("Europe/Berlin"));
        QVERIFY(parsed.has_value());
        QCOMPARE(parsed->toUTC(), expected);
    }

    void ignoresTheUsersLocale_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("Arabic (Egypt)") << QLocale(QLocale::Arabic, QLocale::Egypt);
        QTest::newRow("Thai") << QLocale(QLocale::Thai, QLocale::Thailand);
        QTest::newRow("Persian (Iran)") << QLocale(QLocale::Persian, QLocale::Iran);
        QTest::newRow("Marathi") << QLocale(QLocale::Marathi, QLocale::India);
    }

    void ignoresTheUsersLocale()
    {
        QFETCH(QLocale, locale);
        QLocale::setDefault(locale);
        // The locale really does write other digits, so a leak would show.
        QVERIFY(QLocale().toString(2024) != QStringLiteral("2024") || locale.language() == QLocale::Thai);

        const QDateTime moment = utc(2024, 3, 5, 13, 7, 9);
        QCOMPARE(wiretime::formatWithOffset(moment, zone("Europe/Berlin")), QStringLiteral("2024-03-05T14:07:09+0100"));
        QCOMPARE(wiretime::formatLocal(moment, QTimeZone::utc()), QStringLiteral("2024-03-05T13:07:09"));
        const auto parsed = wiretime::parseWithOffset(u"2024-03-05T14:07:09+0100");
        QVERIFY(parsed.has_value());
        QCOMPARE(parsed->toUTC(), moment);
    }
};

QTEST_GUILESS_MAIN(WireTimeTest)
#include "tst_wiretime.moc"
