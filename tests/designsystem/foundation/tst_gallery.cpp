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
};

QTEST_GUILESS_MAIN(GalleryTest)
#include "tst_gallery.moc"
