#include "designsystem/foundation/ResourceBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using brelta::designsystem::ResourceBundle;

namespace {
constexpr auto childModeVariable = "BRELTA_RESOURCEBUNDLE_CHILD";

// Makes <folder>/designsystem look like a bundle.
void plantBundle(const QString &folder)
{
    QVERIFY(QDir().mkpath(folder + "/designsystem"));
    QFile palette(folder + "/designsystem/palette.csv");
    QVERIFY(palette.open(QIODevice::WriteOnly));
    palette.write("name,value\nGray100,#FFFFFF\n");
}
} // namespace

class ResourceBundleTest : public QObject
{
    Q_OBJECT

private slots:
    void compiledInBundleIsFoundByDefault()
    {
        QCOMPARE(ResourceBundle::path(), QStringLiteral(":/designsystem"));
        QVERIFY(QFile::exists(ResourceBundle::path() + "/palette.csv"));
    }

    void candidatesRunFromInstalledResourcesToTheAppFolder()
    {
        const QString appDir = QCoreApplication::applicationDirPath();
        const QStringList candidates = ResourceBundle::candidateFolders();
        QCOMPARE(candidates, QStringList({QDir::cleanPath(appDir + "/../share/brelta"), ":", appDir}));
    }

    void firstCandidateWinsAndLaterOnesAreNotUsed()
    {
        QTemporaryDir first, third;
        plantBundle(first.path());
        plantBundle(third.path());
        QCOMPARE(ResourceBundle::find({first.path(), "/nonexistent", third.path()}), first.path() + "/designsystem");
    }

    void lookupReachesTheThirdCandidate()
    {
        QTemporaryDir empty, third;
        plantBundle(third.path());
        QCOMPARE(ResourceBundle::find({empty.path(), QString(), third.path()}), third.path() + "/designsystem");
    }

    void folderWithoutPaletteIsNoBundle()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.path() + "/designsystem/icons"));
        QCOMPARE(ResourceBundle::find({dir.path()}), std::nullopt);
    }

    void missingBundleStopsTheProcessWithTheFatalMessage()
    {
        QTemporaryDir workDir;   // a core file, if the system writes one, lands here
        QTemporaryDir childTemp; // the child's temporary folder: it dies without cleaning up
        QProcess child;
        child.setWorkingDirectory(workDir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(childModeVariable, "missing");
        env.insert(QStringLiteral("TMPDIR"), childTemp.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        const QByteArray errors = child.readAllStandardError();
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY2(errors.contains(ResourceBundle::fatalMessage), errors.constData());
        QVERIFY2(!child.readAllStandardOutput().contains("survived"), "the process went on after a missing bundle");
        QVERIFY2(QDir(childTemp.path()).isEmpty(),
                 qPrintable(QDir(childTemp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(' ')));
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariable(childModeVariable) == QLatin1String("missing")) {
        QCoreApplication app(argc, argv);
        // The fatal message ends the process before any destructor runs, so nothing is created here: the
        // working folder the test gave holds no bundle.
        ResourceBundle::require({QDir::currentPath(), "/nonexistent"});
        std::puts("survived");
        return 0;
    }
    QCoreApplication app(argc, argv);
    ResourceBundleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resourcebundle.moc"
