#include "recording/web/WebRecorderMessage.h"

#include <QTest>

using namespace brelta::recording;

namespace {

// "chunk 3 of a: 000102", "failure of a: text", "unreadable (a): reason", "ignored", "call 7: value|error".
QString summary(const pagemessage::Message &message)
{
    if (const auto *chunk = std::get_if<pagemessage::Chunk>(&message))
        return QStringLiteral("chunk %1 of %2: %3")
            .arg(chunk->sequence)
            .arg(chunk->recordingId, QString::fromLatin1(chunk->bytes.toHex()));
    if (const auto *failure = std::get_if<pagemessage::Failure>(&message))
        return QStringLiteral("failure of %1: %2").arg(failure->recordingId, failure->text);
    if (const auto *unreadable = std::get_if<pagemessage::Unreadable>(&message))
        return QStringLiteral("unreadable (%1): %2").arg(unreadable->recordingId, unreadable->reason);
    if (const auto *call = std::get_if<pagemessage::CallFinished>(&message))
        return QStringLiteral("call %1: %2")
            .arg(call->callId)
            .arg(call->error ? QStringLiteral("error ") + *call->error : call->value.toString());
    return QStringLiteral("ignored");
}

QVariantMap chunk(const QVariant &sequence, const QVariant &data)
{
    return {{"event", "data-available"}, {"recordingId", "a"}, {"sequence", sequence}, {"data", data}};
}

} // namespace

class TestWebRecorderMessage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data()
    {
        QTest::addColumn<QVariantMap>("body");
        QTest::addColumn<QString>("expected");
        const QString unparsed = QStringLiteral("unreadable (): failed to parse webview message");
        QTest::newRow("a chunk") << chunk(3, "AAEC") << "chunk 3 of a: 000102";
        QTest::newRow("a chunk numbered as a double") << chunk(3.0, "AAEC") << "chunk 3 of a: 000102";
        QTest::newRow("line breaks in the data are skipped") << chunk(0, "AA\r\nEC") << "chunk 0 of a: 000102";
        QTest::newRow("an empty chunk") << chunk(0, "") << "chunk 0 of a: ";
        QVariantMap nullError = chunk(1, "AAEC");
        nullError.insert("error", QVariant::fromValue(nullptr));
        QTest::newRow("a null error is no error") << nullError << "chunk 1 of a: 000102";
        QVariantMap numberError = chunk(1, "AAEC");
        numberError.insert("error", 42);
        QTest::newRow("an error that is not text is disregarded") << numberError << "chunk 1 of a: 000102";
        QVariantMap failure = chunk(1, "AAEC");
        failure.insert("error", "NotReadableError: device lost");
        QTest::newRow("an error text wins over data") << failure << "failure of a: NotReadableError: device lost";
        QTest::newRow("base64 cut short") << chunk(1, "AAE") << "unreadable (a): failed to decode data from base64";
        QTest::newRow("padding inside base64")
            << chunk(1, "A=EC") << "unreadable (a): failed to decode data from base64";
        QTest::newRow("no data") << chunk(1, QVariant()) << "unreadable (a): failed to parse data from message";
        QTest::newRow("data that is not text") << chunk(1, 12) << "unreadable (a): failed to parse data from message";
        QTest::newRow("no sequence") << chunk(QVariant(), "AAEC") << "unreadable (a): failed to parse webview message";
        QTest::newRow("a negative sequence") << chunk(-1, "AAEC") << "unreadable (a): failed to parse webview message";
        QTest::newRow("a fractional sequence")
            << chunk(1.5, "AAEC") << "unreadable (a): failed to parse webview message";
        QTest::newRow("a sequence in text") << chunk("1", "AAEC") << "unreadable (a): failed to parse webview message";
        QTest::newRow("no recording id") << QVariantMap{{"event", "data-available"}, {"sequence", 0}, {"data", "AAEC"}}
                                         << unparsed;
        QTest::newRow("an event that is not text") << QVariantMap{{"event", 1}} << unparsed;
        QTest::newRow("no event") << QVariantMap{{"data", "AAEC"}} << unparsed;
        QTest::newRow("nothing at all") << QVariantMap{} << unparsed;
        QTest::newRow("another event") << QVariantMap{{"event", "status"}, {"data", "AAEC"}} << "ignored";
        QTest::newRow("a call that returned")
            << QVariantMap{{"event", "call-finished"}, {"callId", 7}, {"value", "done"}} << "call 7: done";
        QTest::newRow("a call that failed")
            << QVariantMap{{"event", "call-finished"}, {"callId", 7}, {"error", "NotAllowedError: denied"}}
            << "call 7: error NotAllowedError: denied";
        QTest::newRow("a call without id") << QVariantMap{{"event", "call-finished"}, {"value", 1}} << unparsed;
    }

    void read()
    {
        QFETCH(QVariantMap, body);
        QFETCH(QString, expected);
        QCOMPARE(summary(pagemessage::read(body)), expected);
    }

    void describeCutsLongTexts()
    {
        const QString audio(5000, QLatin1Char('A'));
        const QString line = pagemessage::describe(chunk(2, audio));
        QVERIFY2(line.size() < 400, qPrintable(QString::number(line.size())));
        QVERIFY(line.contains(QLatin1String("(5000 characters)")));
        QVERIFY(line.contains(QLatin1String("sequence: 2")));
    }
};

QTEST_GUILESS_MAIN(TestWebRecorderMessage)
#include "tst_webrecordermessage.moc"
