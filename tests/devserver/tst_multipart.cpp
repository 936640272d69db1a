// The form-data reader behind the upload receiver, on bodies a client could send.
#include "devserver/Multipart.h"

#include <QTest>

using namespace brelta::devserver;

class TestMultipart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheBoundary_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("boundary"); // empty: refused

        QTest::newRow("plain") << QByteArray("multipart/form-data; boundary=abc123") << QByteArray("abc123");
        QTest::newRow("quoted, as Qt sends it")
            << QByteArray(R"(multipart/form-data; boundary="boundary_.oOo._MjA=+/x")")
            << QByteArray("boundary_.oOo._MjA=+/x");
        QTest::newRow("type in capitals, parameter first")
            << QByteArray("Multipart/Form-Data;charset=utf-8;  BOUNDARY=xyz") << QByteArray("xyz");
        QTest::newRow("other multipart type") << QByteArray("multipart/mixed; boundary=abc") << QByteArray();
        QTest::newRow("no boundary") << QByteArray("multipart/form-data") << QByteArray();
        QTest::newRow("empty boundary") << QByteArray("multipart/form-data; boundary=\"\"") << QByteArray();
        QTest::newRow("boundary over 70 characters")
            << "multipart/form-data; boundary=" + QByteArray(71, 'b') << QByteArray();
        QTest::newRow("unterminated quote") << QByteArray("multipart/form-data; boundary=\"abc") << QByteArray();
        QTest::newRow("JSON") << QByteArray("application/json") << QByteArray();
    }

    void readsTheBoundary()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, boundary);
        const auto found = formDataBoundary(contentType);
        QCOMPARE(found.value_or(QByteArray()), boundary);
    }

    void splitsAFormIntoItsParts()
    {
        static constexpr char raw[] =
            "preamble to ignore\r\n"
            "--XyZ\r\n"
            "Content-Disposition: form-data; name=\"files\"; filename=\"a \\\"b\\\".m4a\"\r\n"
            "Content-Type: audio/m4a\r\n"
            "\r\n"
            "\x00\x01--XyZ not a boundary\r\n\r\n"
            "\r\n--XyZ  \r\n"
            "content-disposition: form-data; name=username\r\n"
            "\r\n"
            "dev@brelta.test\r\n"
            "--XyZ\r\n"
            "Content-Disposition: form-data; name=\"note\"; filename*=UTF-8''caf%C3%A9.txt\r\n"
            "\r\n"
            "\r\n"
            "--XyZ--\r\n"
            "epilogue to ignore";
        const QByteArray body(raw, sizeof(raw) - 1); // it holds a NUL byte
        const auto result = parseFormData(body, "XyZ");
        const auto *error = std::get_if<QString>(&result);
        QVERIFY2(!error, error ? qPrintable(*error) : "");
        const auto parts = std::get<QList<FormPart>>(result);
        QCOMPARE(parts.size(), 3);

        QCOMPARE(parts[0].name, QByteArray("files"));
        QCOMPARE(parts[0].fileName, QStringLiteral("a \"b\".m4a"));
        QCOMPARE(parts[0].contentType, QByteArray("audio/m4a"));
        QCOMPARE(parts[0].body, QByteArray("\x00\x01--XyZ not a boundary\r\n\r\n", 26));

        QCOMPARE(parts[1].name, QByteArray("username"));
        QVERIFY(!parts[1].fileName);
        QVERIFY(parts[1].contentType.isEmpty());
        QCOMPARE(parts[1].body, QByteArray("dev@brelta.test"));

        QCOMPARE(parts[2].fileName, QStringLiteral("café.txt"));
        QCOMPARE(parts[2].body, QByteArray());
    }

    void refusesAMalformedForm_data()
    {
        QTest::addColumn<QByteArray>("body");

        const QByteArray disposition = "Content-Disposition: form-data; name=\"a\"\r\n";
        QTest::newRow("no boundary at all") << QByteArray("just text");
        QTest::newRow("no closing boundary") << "--B\r\n" + disposition + "\r\nvalue\r\n";
        QTest::newRow("truncated after a boundary") << "--B\r\n" + disposition + "\r\nvalue\r\n--B";
        QTest::newRow("headers never end") << "--B\r\n" + disposition + "value\r\n--B--";
        QTest::newRow("part without headers") << QByteArray("--B\r\n\r\nvalue\r\n--B--\r\n");
        QTest::newRow("part without a name")
            << QByteArray("--B\r\nContent-Disposition: form-data; filename=\"x\"\r\n\r\nv\r\n--B--\r\n");
        QTest::newRow("not form-data") << QByteArray(
            "--B\r\nContent-Disposition: attachment; name=\"a\"\r\n\r\nv\r\n--B--\r\n");
        QTest::newRow("header line without colon")
            << "--B\r\n" + disposition + "Content-Type audio/m4a\r\n\r\nv\r\n--B--\r\n";
        QTest::newRow("folded header line") << "--B\r\n" + disposition + " ; filename=\"x\"\r\n\r\nv\r\n--B--\r\n";
        QTest::newRow("text after a boundary") << "--B junk\r\n" + disposition + "\r\nv\r\n--B--\r\n";
    }

    void refusesAMalformedForm()
    {
        QFETCH(QByteArray, body);
        const auto result = parseFormData(body, "B");
        QVERIFY(std::holds_alternative<QString>(result));
        QVERIFY(!std::get<QString>(result).isEmpty());
    }

    void acceptsAFormWithoutParts()
    {
        const auto result = parseFormData("--B--\r\n", "B");
        QVERIFY(std::holds_alternative<QList<FormPart>>(result));
        QVERIFY(std::get<QList<FormPart>>(result).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMultipart)
#include "tst_multipart.moc"
