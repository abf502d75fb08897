#include "TarvoCore/Json.h"

#include <gtest/gtest.h>

using namespace tarvo;
using json::DecodingError;

TEST(JsonWriter, WritesCompactSortedEscapedForms) {
    struct Case {
        const char* name;
        QJsonValue value;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"keys sorted", QJsonObject{{"b", 1}, {"a", 2}, {"aa", 3}}, R"({"a":2,"aa":3,"b":1})"},
        {"slash escaped", QJsonValue("https://x/y"), R"("https:\/\/x\/y")"},
        {"quotes and backslash", QJsonValue(R"(a"b\c)"), R"("a\"b\\c")"},
        {"control characters", QJsonValue(QString::fromUtf8("\n\t\x01")), R"("\n\t\u0001")"},
        {"non-ASCII stays raw", QJsonValue(QString::fromUtf8("é😀")), "\"é😀\""},
        {"integral double", QJsonValue(60.0), "60"},
        {"fraction kept", QJsonValue(1700000000.25), "1700000000.25"},
        {"shortest round trip", QJsonValue(0.85), "0.85"},
        {"date in plain digits", QJsonValue(1700000000.0), "1700000000"},
        {"huge uses an exponent", QJsonValue(1e21), "1e+21"},
        {"tiny uses an exponent", QJsonValue(0.00001), "1e-05"},
        {"negative", QJsonValue(-2.5), "-2.5"},
        {"booleans and null", QJsonArray{true, false, QJsonValue()}, "[true,false,null]"},
        {"empty containers", QJsonObject{{"a", QJsonArray()}, {"b", QJsonObject()}},
         R"({"a":[],"b":{}})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(json::write(c.value), QByteArray(c.expected));
    }
}

TEST(JsonWriter, SortsKeysByUnicodeScalarValue) {
    // U+E000 sorts before U+1F600 by scalar value, though not by UTF-16 code unit.
    const QJsonObject o{{QString::fromUtf8("\U0001F600"), 1}, {QString::fromUtf8("\uE000"), 2}};
    EXPECT_EQ(json::write(o), QByteArray("{\"\uE000\":2,\"\U0001F600\":1}"));
}

TEST(JsonWriter, PrettyFormIndentsByTwoWithSpacedColons) {
    const QJsonObject o{{"b", QJsonArray{1, 2}}, {"a", QJsonObject{{"x", true}}}};
    EXPECT_EQ(json::write(o, json::Style::pretty), QByteArray("{\n"
                                                              "  \"a\" : {\n"
                                                              "    \"x\" : true\n"
                                                              "  },\n"
                                                              "  \"b\" : [\n"
                                                              "    1,\n"
                                                              "    2\n"
                                                              "  ]\n"
                                                              "}"));
}

TEST(JsonReader, ReadsEscapedAndPlainSlashesAlike) {
    const QJsonValue a = json::parse(R"({"u":"a\/b"})");
    const QJsonValue b = json::parse(R"({"u":"a/b"})");
    EXPECT_EQ(a, b);
}

TEST(JsonReader, NotJsonIsCorruptedData) {
    try {
        json::parse("{not json");
        FAIL();
    } catch (const DecodingError& e) {
        EXPECT_EQ(e.kind(), DecodingError::Kind::dataCorrupted);
        EXPECT_EQ(e.description(), "The given data was not valid JSON.");
    }
}

TEST(JsonReader, MemberErrorsNameTheProblem) {
    const QJsonObject o{{"s", "x"}, {"n", 1.5}, {"z", QJsonValue()}};
    const json::ObjectReader r(o, {"root"});
    struct Case {
        const char* name;
        std::function<void()> read;
        DecodingError::Kind kind;
        const char* description;
    };
    const std::vector<Case> cases = {
        {"missing", [&] { r.string("absent"); }, DecodingError::Kind::keyNotFound,
         "No value associated with key \"absent\"."},
        {"wrong type", [&] { r.boolean("s"); }, DecodingError::Kind::typeMismatch,
         "Expected to decode Bool but found a string instead."},
        {"null required", [&] { r.string("z"); }, DecodingError::Kind::valueNotFound,
         "Expected String value but found null instead."},
        {"fraction as integer", [&] { r.integer("n"); }, DecodingError::Kind::dataCorrupted,
         "Parsed JSON number <1.5> does not fit in Int."},
        {"bad uuid", [&] { r.uuid("s"); }, DecodingError::Kind::dataCorrupted,
         "Attempted to decode UUID from invalid UUID string."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.read();
            ADD_FAILURE() << "no error";
        } catch (const DecodingError& e) {
            EXPECT_EQ(e.kind(), c.kind);
            EXPECT_EQ(e.description(), QString::fromUtf8(c.description));
        }
    }
    EXPECT_FALSE(r.optionalString("z").has_value());
    EXPECT_FALSE(r.optionalString("absent").has_value());
}

TEST(JsonReader, UuidsAcceptEitherCaseButOnlyCanonicalForm) {
    const QJsonObject o{{"lower", "6f9619ff-8b86-d011-b42d-00c04fc964ff"},
                        {"braces", "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"}};
    const json::ObjectReader r(o, {});
    EXPECT_EQ(json::uuidText(r.uuid("lower")), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_THROW(r.uuid("braces"), DecodingError);
}

TEST(JsonCases, CountsOnlyKeysThatNameCases) {
    struct Case {
        const char* json;
        int index; // -1: fails with the key-count error
    };
    const std::vector<Case> cases = {
        {R"({"a":{}})", 0},         {R"({"b":{"x":1},"note":1})", 1}, {R"({})", -1},
        {R"({"a":{},"b":{}})", -1}, {R"({"note":{}})", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            const auto decoded = json::decodeCase(json::parse(c.json), {"v"}, {"a", "b"});
            EXPECT_EQ(decoded.index, c.index);
        } catch (const DecodingError& e) {
            EXPECT_EQ(c.index, -1);
            EXPECT_EQ(e.kind(), DecodingError::Kind::typeMismatch);
            EXPECT_EQ(e.description(), "Invalid number of keys found, expected one.");
            EXPECT_EQ(e.codingPath(), QStringList{"v"});
        }
    }
}

TEST(JsonCases, CaseValueMustBeAnObject) {
    EXPECT_THROW(json::decodeCase(json::parse(R"({"a":true})"), {}, {"a"}), DecodingError);
    EXPECT_EQ(json::write(json::encodeCase("a")), QByteArray(R"({"a":{}})"));
}
