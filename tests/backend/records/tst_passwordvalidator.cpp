#include "backend/records/PasswordValidatorBuilder.h"

#include <QTest>

using brelta::backend::PasswordValidatorBuilder;

class PasswordValidatorTest : public QObject
{
    Q_OBJECT

private slots:
    void lengthRuleWithTheDefaultText()
    {
        PasswordValidatorBuilder builder;
        QVERIFY(builder.tests().empty());
        builder.hasLength(8);
        QCOMPARE(builder.tests().size(), std::size_t(1));
        QCOMPARE(builder.tests()[0].testId, QStringLiteral("hasLength8"));
        QCOMPARE(builder.tests()[0].error, QStringLiteral("The password must be at least 8 characters long."));
    }

    void givenErrorTextIsKeptAndRulesStayInOrder()
    {
        PasswordValidatorBuilder builder;
        builder.hasLength(8).hasLength(12, QStringLiteral("  Twelve, please!  "));
        QCOMPARE(builder.tests().size(), std::size_t(2));
        QCOMPARE(builder.tests()[0].testId, QStringLiteral("hasLength8"));
        QCOMPARE(builder.tests()[1].testId, QStringLiteral("hasLength12"));
        QCOMPARE(builder.tests()[1].error, QStringLiteral("  Twelve, please!  "));
        QVERIFY(builder.tests()[0].test(QStringLiteral("ninechars")));
        QVERIFY(!builder.tests()[1].test(QStringLiteral("ninechars")));
    }

    void lengthRule_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("passes");
        QTest::newRow("seven characters") << "abcdefg" << false;
        QTest::newRow("eight characters") << "abcdefgh" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("short first line, long text") << "abc\ndefghijkl" << false;
        QTest::newRow("long first line, short second") << "abcdefgh\nx" << true;
        QTest::newRow("carriage return ends the line too") << "abc\rdefghijkl" << false;
        QTest::newRow("line separator ends the line too") << QStringLiteral("abc\u2028defghijkl") << false;
        QTest::newRow("eight characters outside the BMP")
            << QStringLiteral("\U0001F600\U0001F600\U0001F600\U0001F600abcd") << true;
        QTest::newRow("seven characters outside the BMP")
            << QStringLiteral("\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600") << false;
    }

    void lengthRule()
    {
        QFETCH(QString, password);
        QFETCH(bool, passes);
        PasswordValidatorBuilder builder;
        builder.hasLength(8);
        QCOMPARE(builder.tests()[0].test(password), passes);
    }

    void regexTestMatchesAnywhereAndRefusesBadPatterns_data()
    {
        QTest::addColumn<QString>("regex");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("matches");
        QTest::newRow("contains a digit") << "[0-9]"
                                          << "abc4def" << true;
        QTest::newRow("no digit") << "[0-9]"
                                  << "abcdef" << false;
        QTest::newRow("pattern that does not compile") << "([a-z]"
                                                       << "abc" << false;
        QTest::newRow("case matters") << "[A-Z]"
                                      << "abc" << false;
    }

    void regexTestMatchesAnywhereAndRefusesBadPatterns()
    {
        QFETCH(QString, regex);
        QFETCH(QString, password);
        QFETCH(bool, matches);
        QCOMPARE(PasswordValidatorBuilder::regexTest(password, regex, QString()), matches);
        // Script-style flags have no effect.
        QCOMPARE(PasswordValidatorBuilder::regexTest(password, regex, QStringLiteral("i")), matches);
    }
};

QTEST_GUILESS_MAIN(PasswordValidatorTest)
#include "tst_passwordvalidator.moc"
