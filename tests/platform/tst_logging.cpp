#include "platform/Logging.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

Q_LOGGING_CATEGORY(lcLoggingTest, "LoggingTest")

class LoggingTest : public QObject
{
    Q_OBJECT

private slots:
    void writesCategoryAndMessageToFile()
    {
        QTemporaryDir dir;
        brelta::platform::Logging::install(dir.path());
        qCWarning(lcLoggingTest) << "first line";
        QFile file(brelta::platform::Logging::currentLogFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY2(text.contains("LoggingTest warning: first line"), text.constData());
    }

    void rotatesWhenTheFileIsFull()
    {
        QTemporaryDir dir;
        brelta::platform::Logging::install(dir.path());
        const QString chunk(1024, QLatin1Char('x'));
        for (int i = 0; i < 2100; ++i)
            qCInfo(lcLoggingTest).noquote() << chunk;
        QVERIFY(QFile::exists(dir.path() + "/brelta.log.1"));
        QVERIFY(QFileInfo(dir.path() + "/brelta.log").size() <= brelta::platform::Logging::maxFileBytes);
    }
};

QTEST_GUILESS_MAIN(LoggingTest)
#include "tst_logging.moc"
