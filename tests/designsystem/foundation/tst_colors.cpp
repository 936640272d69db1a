#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/ResourceBundle.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace brelta::designsystem;

namespace {
const QColor backgroundTop(71, 38, 92);
const QColor backgroundBottom(49, 55, 86);

struct PaletteRow
{
    QString name;
    QColor value;
    QString role;
    double opacity = 1;
    double contrastTop = 0;
    double contrastBottom = 0;
    QString minimum;
};

QList<PaletteRow> readPaletteRows()
{
    QList<PaletteRow> rows;
    QFile file(ResourceBundle::path() + "/palette.csv");
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    bool header = true;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (std::exchange(header, false))
            continue;
        const QStringList f = line.split(',');
        if (f.size() != 7)
            continue;
        rows.append({f[0], Colors::parseHex(f[1]).value_or(QColor()), f[2], f[3].toDouble(), f[4].toDouble(),
                     f[5].toDouble(), f[6]});
    }
    return rows;
}

// What the two ratios of a row measure depends on its role (see the comment in palette.csv).
double measuredContrast(const PaletteRow &row, const QColor &background)
{
    const QColor laid = contrast::composite(row.value, background, row.opacity);
    if (row.role == "text" || row.role == "ui")
        return contrast::ratio(laid, background);
    return contrast::ratio(Colors::gray100(), laid);
}
} // namespace

class ColorsTest : public QObject
{
    Q_OBJECT

private slots:
    // Runs first, so these are the process's first reads of the palette.
    void concurrentFirstReadsFindTheBundleOnce()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("brelta.designsystem.ResourceBundle.debug=true"));
        static QAtomicInt lookups;
        static QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                if (text.startsWith(QLatin1String("using kit resources")))
                    lookups.ref();
                previous(type, context, text);
            });

        QList<QColor> seen(8);
        QList<QThread *> threads;
        for (int i = 0; i < seen.size(); ++i)
            threads << QThread::create([&seen, i] { seen[i] = Colors::gray100(); });
        for (QThread *thread : threads)
            thread->start();
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(10000));
            delete thread;
        }
        qInstallMessageHandler(previous);
        QCOMPARE(lookups.loadRelaxed(), 1);
        for (const QColor &color : seen)
            QCOMPARE(color, Colors::gray100());
        QVERIFY(Colors::gray100() != Colors::fallback());
    }

    void everyTokenResolves_data()
    {
        QTest::addColumn<ColorToken>("token");
        for (ColorToken token : allColorTokens)
            QTest::newRow(qPrintable(Colors::assetName(token))) << token;
    }

    void everyTokenResolves()
    {
        QFETCH(ColorToken, token);
        const QColor color = Colors::color(token);
        QVERIFY(color.isValid());
        QVERIFY2(color != Colors::fallback(), "the palette has no row for this token");
        QCOMPARE(Colors::color(token), color); // kept, not re-read
    }

    void namedAccessorsMatchTheirTokens()
    {
        QCOMPARE(Colors::gray100(), Colors::color(ColorToken::Gray100));
        QCOMPARE(Colors::brandDarkPurple(), Colors::color(ColorToken::BrandDarkPurple));
        QCOMPARE(Colors::overlay60(), Colors::color(ColorToken::Overlay60));
    }

    void assetNamesAreDistinct()
    {
        QSet<QString> names;
        for (ColorToken token : allColorTokens)
            names.insert(Colors::assetName(token));
        QCOMPARE(names.size(), int(allColorTokens.size()));
    }

    void badPaletteRowsAreReportedAndTheRestLoads()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("palette.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("# a comment\n"
                   "name,value\n"
                   "Gray100,#F6F4FA\n"
                   "Gray200,#F6F4\n"
                   "Gray400\n"
                   "Overlay10,#FFFFFF1A,surface\n");
        file.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("palette.csv:4: not a colour row: Gray200,#F6F4$"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("palette.csv:5: not a colour row: Gray400$"));
        const QHash<QString, QColor> colors = Colors::readPalette(file.fileName());
        QCOMPARE(colors.size(), 2);
        QCOMPARE(colors.value("Gray100"), QColor(0xF6, 0xF4, 0xFA));
        QCOMPARE(colors.value("Overlay10"), QColor(255, 255, 255, 0x1A));
    }

    void unreadablePaletteIsReported()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot read .*/no-such-palette.csv"));
        QVERIFY(Colors::readPalette("/nonexistent/no-such-palette.csv").isEmpty());
    }

    void overlaysAreTranslucentWhite()
    {
        const QList<std::pair<QColor, int>> overlays = {
            {Colors::overlay10(), 10}, {Colors::overlay20(), 20}, {Colors::overlay40(), 40}, {Colors::overlay60(), 60}};
        for (const auto &[color, percent] : overlays) {
            QCOMPARE(color.rgb() & 0xffffff, 0xffffffu);
            QCOMPARE(qRound(color.alphaF() * 100), percent);
        }
    }

    void parseHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("rgb") << "#8A42F5" << true << QColor(0x8a, 0x42, 0xf5);
        QTest::newRow("lower case") << "#8a42f5" << true << QColor(0x8a, 0x42, 0xf5);
        QTest::newRow("alpha is the last pair") << "#FF7E7E66" << true << QColor(0xff, 0x7e, 0x7e, 0x66);
        QTest::newRow("no hash") << "8A42F5" << false << QColor();
        QTest::newRow("short form") << "#FFF" << false << QColor();
        QTest::newRow("not hex") << "#GG42F5" << false << QColor();
        QTest::newRow("sign smuggled in") << "#+A42F5" << false << QColor();
        QTest::newRow("empty") << "" << false << QColor();
    }

    void parseHex()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QColor, expected);
        const auto parsed = Colors::parseHex(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(parsed->rgba(), expected.rgba());
    }

    void paletteContrastIsTrueAndReadable_data()
    {
        QTest::addColumn<int>("index");
        const QList<PaletteRow> rows = readPaletteRows();
        QCOMPARE(rows.size(), int(allColorTokens.size()));
        for (int i = 0; i < rows.size(); ++i)
            QTest::newRow(qPrintable(rows[i].name)) << i;
    }

    void paletteContrastIsTrueAndReadable()
    {
        QFETCH(int, index);
        const PaletteRow row = readPaletteRows().at(index);
        QVERIFY(row.value.isValid());
        QCOMPARE(row.value,
                 Colors::color(*std::find_if(allColorTokens.begin(), allColorTokens.end(),
                                             [&](ColorToken t) { return Colors::assetName(t) == row.name; })));
        const double top = measuredContrast(row, backgroundTop);
        const double bottom = measuredContrast(row, backgroundBottom);
        QVERIFY2(qAbs(top - row.contrastTop) < 0.01,
                 qPrintable(QString("table %1, measured %2").arg(row.contrastTop).arg(top)));
        QVERIFY2(qAbs(bottom - row.contrastBottom) < 0.01,
                 qPrintable(QString("table %1, measured %2").arg(row.contrastBottom).arg(bottom)));

        const QMap<QString, double> wcagMinimum = {
            {"text", 4.5}, {"ui", 3.0}, {"surface", 4.5}, {"surface-large", 3.0}, {"tint", 0}};
        QVERIFY2(wcagMinimum.contains(row.role), qPrintable(row.role));
        const double minimum = wcagMinimum.value(row.role);
        if (minimum > 0)
            QCOMPARE(row.minimum.toDouble(), minimum);
        QVERIFY2(std::min(top, bottom) >= minimum,
                 qPrintable(QString("%1 below %2").arg(std::min(top, bottom)).arg(minimum)));
    }

    void textTokensReadOnTheWholeBackground()
    {
        // Along the gradient, not only at its stops.
        for (double t = 0; t <= 1.0; t += 0.125) {
            const QColor background = contrast::composite(backgroundBottom, backgroundTop, t);
            for (const QColor &text : {Colors::gray100(), Colors::gray200(), Colors::gray400(), Colors::negative()})
                QVERIFY2(contrast::ratio(text, background) >= 4.5, qPrintable(text.name()));
        }
    }

    void contrastArithmeticMatchesWcagReferences()
    {
        QCOMPARE(contrast::ratio(Qt::black, Qt::white), 21.0);
        QCOMPARE(contrast::ratio(Qt::white, Qt::white), 1.0);
        // #777777 on white is the usual AA borderline example: 4.48:1.
        QVERIFY(qAbs(contrast::ratio(QColor("#777777"), Qt::white) - 4.48) < 0.01);
    }
};

QTEST_GUILESS_MAIN(ColorsTest)
#include "tst_colors.moc"
