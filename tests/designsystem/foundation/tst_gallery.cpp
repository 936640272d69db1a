#include <QColor>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The gallery is how reviewers look at the kit: it must render its sheet offscreen into a PNG.
class GalleryTest : public QObject
{
    Q_OBJECT

private slots:
    void writesTheSheetToAPng()
    {
        const QString gallery = qEnvironmentVariable("BRELTA_GALLERY");
        QVERIFY2(!gallery.isEmpty(), "BRELTA_GALLERY is not set");
        QTemporaryDir dir;
        const QString png = dir.filePath("sheet.png");
        QProcess process;
        process.start(gallery, {"--png", png});
        QVERIFY(process.waitForFinished(60000));
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                 process.readAllStandardError().constData());

        const QImage sheet(png);
        QVERIFY(!sheet.isNull());
        QCOMPARE(sheet.width(), 1120);
        QVERIFY(sheet.height() > 1500);
        // The sheet sits on the kit's background gradient.
        const QRgb corner = sheet.pixel(0, 0);
        QVERIFY(qAbs(qRed(corner) - 71) <= 3 && qAbs(qGreen(corner) - 38) <= 3 && qAbs(qBlue(corner) - 92) <= 3);
    }

    void scaleDoublesThePixelsAndOnlyNarrowsTheSections()
    {
        const QString gallery = qEnvironmentVariable("BRELTA_GALLERY");
        QTemporaryDir dir;
        const QString png = dir.filePath("icons.png");
        QProcess process;
        process.start(gallery, {"--png", png, "--scale", "2", "--only", "icons"});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        const QImage sheet(png);
        QCOMPARE(sheet.width(), 2240);

        QProcess unknown;
        unknown.start(gallery, {"--png", dir.filePath("none.png"), "--only", "no such section"});
        QVERIFY(unknown.waitForFinished(60000));
        QVERIFY(unknown.exitCode() != 0);
    }

    // Each component has a section of its own; the floating panels are painted where they would open.
    void eachComponentSectionRendersAlone_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QColor>("mustShow"); // a colour only that section paints, or invalid
        for (const char *title :
             {"Brand buttons", "Toggles", "Banners", "Loader", "Media pills", "Highlight blur", "Brand inputs"})
            QTest::newRow(title) << QString::fromLatin1(title) << QColor();
        QTest::newRow("Menus, with the open panel in Gray800") << QStringLiteral("Menus") << QColor(0x2B, 0x25, 0x38);
        QTest::newRow("Dropdown, with the open list in BrandDarkPurple")
            << QStringLiteral("Dropdown") << QColor(0x3B, 0x22, 0x66);
    }

    void eachComponentSectionRendersAlone()
    {
        QFETCH(QString, title);
        QFETCH(QColor, mustShow);
        QTemporaryDir dir;
        const QString png = dir.filePath("section.png");
        QProcess process;
        process.start(qEnvironmentVariable("BRELTA_GALLERY"), {"--png", png, "--only", title});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        const QImage sheet(png);
        QCOMPARE(sheet.width(), 1120);
        // The page header and one section: a few hundred pixels, not the whole sheet.
        QVERIFY2(sheet.height() > 250 && sheet.height() < 1200, qPrintable(QString::number(sheet.height())));
        if (!mustShow.isValid())
            return;
        int found = 0;
        for (int y = 0; y < sheet.height(); ++y)
            for (int x = 0; x < sheet.width(); ++x)
                if (QColor(sheet.pixel(x, y)) == mustShow)
                    ++found;
        QVERIFY2(found > 2000, qPrintable(QString::number(found)));
    }
};

QTEST_GUILESS_MAIN(GalleryTest)
#include "tst_gallery.moc"
