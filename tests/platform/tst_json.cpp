#include "platform/Json.h"

#include <QTest>

#include <optional>
#include <vector>

using brelta::platform::JsonDecodeError;
using brelta::platform::JsonObjectWriter;
using brelta::platform::JsonReader;

namespace {

enum class Colour { Red, DarkBlue };

struct Item
{
    QString name;
    std::optional<qint64> count;
    std::optional<Colour> colour;

    static Item fromJson(const JsonReader &reader)
    {
        return {reader.required<QString>("name"), reader.optional<qint64>("count"), reader.optional<Colour>("colour")};
    }

    nlohmann::ordered_json toJson() const
    {
        return JsonObjectWriter().add("name", name).addOptional("count", count).addOptional("colour", colour).take();
    }
};

struct Basket
{
    QString owner;
    std::vector<Item> items;
    std::optional<std::vector<QString>> tags;

    static Basket fromJson(const JsonReader &reader)
    {
        return {reader.object("owner").required<QString>("name"),
                reader.array("items", [](const JsonReader &item) { return item.as<Item>(); }),
                reader.optional<std::vector<QString>>("tags")};
    }
};

} // namespace

template<>
struct brelta::platform::JsonEnum<Colour>
{
    static constexpr std::array values{std::pair{Colour::Red, std::string_view("RED")},
                                       std::pair{Colour::DarkBlue, std::string_view("DARK_BLUE")}};
};

class JsonTest : public QObject
{
    Q_OBJECT

private slots:
    void decodesNestedRecords()
    {
        const auto basket = brelta::platform::decodeJson<Basket>(QByteArray(R"({
            "owner": {"name": "Ann", "extra": 1},
            "items": [{"name": "pear", "count": 3, "colour": "DARK_BLUE"}, {"name": "fig", "count": null}],
            "unknown": [1, 2]
        })"));
        QCOMPARE(basket.owner, QStringLiteral("Ann"));
        QCOMPARE(basket.items.size(), std::size_t(2));
        QCOMPARE(basket.items[0].count, std::optional<qint64>(3));
        QCOMPARE(basket.items[0].colour, std::optional<Colour>(Colour::DarkBlue));
        QCOMPARE(basket.items[1].name, QStringLiteral("fig"));
        QVERIFY(!basket.items[1].count.has_value());
        QVERIFY(!basket.items[1].colour.has_value());
        QVERIFY(!basket.tags.has_value());
    }

    void failuresNameTheField_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("message");

        QTest::newRow("missing key in an array element")
            << QByteArray(R"({"owner": {"name": "A"}, "items": [{"name": "a"}, {"count": 1}]})")
            << "items[1].name: missing";
        QTest::newRow("required key is null")
            << QByteArray(R"({"owner": {"name": null}, "items": []})") << "owner.name: missing (null)";
        QTest::newRow("wrong type") << QByteArray(R"({"owner": {"name": 7}, "items": []})")
                                    << "owner.name: expected string, got number";
        QTest::newRow("optional present with wrong type")
            << QByteArray(R"({"owner": {"name": "A"}, "items": [{"name": "a", "count": "3"}]})")
            << "items[0].count: expected integer, got string";
        QTest::newRow("integer with a fraction")
            << QByteArray(R"({"owner": {"name": "A"}, "items": [{"name": "a", "count": 2.5}]})")
            << "items[0].count: expected integer, got 2.5";
        QTest::newRow("unknown enumeration value")
            << QByteArray(R"({"owner": {"name": "A"}, "items": [{"name": "a", "colour": "red"}]})")
            << "items[0].colour: unknown value \"red\"";
        QTest::newRow("array expected") << QByteArray(R"({"owner": {"name": "A"}, "items": {}})")
                                        << "items: expected array, got object";
        QTest::newRow("array element of the wrong type")
            << QByteArray(R"({"owner": {"name": "A"}, "items": [], "tags": ["x", true]})")
            << "tags[1]: expected string, got boolean";
        QTest::newRow("object expected") << QByteArray(R"({"owner": "A", "items": []})")
                                         << "owner: expected object, got string";
        QTest::newRow("top level is not an object") << QByteArray("[1]") << "(root): expected object, got array";
    }

    void failuresNameTheField()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, message);
        try {
            brelta::platform::decodeJson<Basket>(document);
            QFAIL("decoding succeeded");
        } catch (const JsonDecodeError &error) {
            QCOMPARE(QString::fromUtf8(error.what()), message);
        }
    }

    void syntaxErrorIsADecodeError()
    {
        try {
            brelta::platform::parseJson(QByteArray("{\"a\": "));
            QFAIL("parsing succeeded");
        } catch (const JsonDecodeError &error) {
            QCOMPARE(QString::fromStdString(error.path()), QStringLiteral("(root)"));
            QVERIFY(QString::fromStdString(error.problem()).startsWith(QStringLiteral("not JSON")));
        }
    }

    void untrustedTextIsADecodeError_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("problem"); // how the problem starts

        const int limit = brelta::platform::kMaxJsonDepth;
        QTest::newRow("number beyond double range in an unread key")
            << QByteArray(R"({"unusedKey":1e400})") << "not JSON";
        QTest::newRow("negative number beyond double range") << QByteArray("[-1e400]") << "not JSON";
        QTest::newRow("one level too deep")
            << QByteArray(limit + 1, '[') + QByteArray(limit + 1, ']') << "nested deeper than 512 levels";
        QTest::newRow("100,000 brackets, never closed") << QByteArray(100000, '[') << "nested deeper than 512 levels";
        QTest::newRow("100,000 objects deep") << QByteArray("{\"a\":").repeated(100000) + "1" + QByteArray(100000, '}')
                                              << "nested deeper than 512 levels";
    }

    void untrustedTextIsADecodeError()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, problem);
        try {
            brelta::platform::parseJson(text);
            QFAIL("parsing succeeded");
        } catch (const JsonDecodeError &error) {
            QCOMPARE(QString::fromStdString(error.path()), QStringLiteral("(root)"));
            QVERIFY2(QString::fromStdString(error.problem()).startsWith(problem), error.what());
        }
    }

    void nestingUpToTheLimitIsRead()
    {
        const int limit = brelta::platform::kMaxJsonDepth;
        const nlohmann::json value = brelta::platform::parseJson(QByteArray(limit, '[') + QByteArray(limit, ']'));
        const nlohmann::json *level = &value;
        int depth = 1;
        while (!level->empty()) {
            level = &level->front();
            ++depth;
        }
        QCOMPARE(depth, limit);
        QVERIFY(level->is_array());
    }

    void integersKeepTheirRange_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<qint64>("expected");

        QTest::newRow("largest int64") << QByteArray("9223372036854775807") << true << Q_INT64_C(9223372036854775807);
        QTest::newRow("negative") << QByteArray("-42") << true << Q_INT64_C(-42);
        QTest::newRow("integral float") << QByteArray("12.0") << true << Q_INT64_C(12);
        QTest::newRow("beyond int64") << QByteArray("9223372036854775808") << false << Q_INT64_C(0);
        QTest::newRow("boolean") << QByteArray("true") << false << Q_INT64_C(0);
    }

    void integersKeepTheirRange()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, decodes);
        QFETCH(qint64, expected);
        const auto value = brelta::platform::parseJson(document);
        if (decodes) {
            QCOMPARE(JsonReader(value).as<qint64>(), expected);
        } else {
            QVERIFY_THROWS_EXCEPTION(JsonDecodeError, JsonReader(value).as<qint64>());
        }
        QVERIFY_THROWS_EXCEPTION(JsonDecodeError,
                                 JsonReader(brelta::platform::parseJson(QByteArray("300"))).as<qint8>());
    }

    void encodingLeavesAbsentOptionalsOutAndKeepsOrder()
    {
        const Item item{QStringLiteral("pear"), std::nullopt, Colour::Red};
        QCOMPARE(brelta::platform::toJsonText(item.toJson()), QByteArray(R"({"name":"pear","colour":"RED"})"));

        const Item full{QStringLiteral("z\u00e9"), 5, std::nullopt};
        const Item back = brelta::platform::decodeJson<Item>(brelta::platform::toJsonText(full.toJson()));
        QCOMPARE(back.name, full.name);
        QCOMPARE(back.count, full.count);
        QVERIFY(!back.colour.has_value());

        QCOMPARE(brelta::platform::toJsonText(brelta::platform::emptyJsonObject()), QByteArray("{}"));
    }

    void invalidUtf8FailsToEncode()
    {
        nlohmann::ordered_json value = std::string("\xff\xfe");
        QVERIFY_THROWS_EXCEPTION(brelta::platform::JsonEncodeError, brelta::platform::toJsonText(value));
    }

    void enumerationRawValues()
    {
        QCOMPARE(brelta::platform::enumFromRawValue<Colour>("DARK_BLUE"), std::optional<Colour>(Colour::DarkBlue));
        QVERIFY(!brelta::platform::enumFromRawValue<Colour>("dark_blue").has_value());
        QCOMPARE(brelta::platform::enumRawValue(Colour::Red), std::string_view("RED"));
    }
};

QTEST_GUILESS_MAIN(JsonTest)
#include "tst_json.moc"
