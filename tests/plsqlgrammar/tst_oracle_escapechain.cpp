// The read-ahead block escapes every field of its reply with a chain of REPLACEs that runs on
// the server, and the driver undoes it. The stand-in client answers the block in C++ of its
// own, so nothing else would notice the block's chain drifting from the driver's decoding:
// here the chain is taken from the block's text as the driver sends it, evaluated as the server
// would, and the reply it makes is read back by the driver's own parser.
#include "drivers/oracleclient/OciReadAhead.h"

#include <QTest>

#include <cctype>
#include <stdexcept>
#include <string>

using namespace ocidrv::ora;

namespace {

// Evaluates the PL/SQL expression of the block's field function: REPLACE, CHR, string
// literals, || and the function's one parameter, nothing else.
struct Evaluator {
    std::string_view text, parameter;
    std::string value;

    [[noreturn]] void Fail(const char* what) const {
        throw std::runtime_error(std::string(what) + " at " + std::string(text));
    }
    bool Take(std::string_view token) {
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
            text.remove_prefix(1);
        if (!text.starts_with(token))
            return false;
        text.remove_prefix(token.size());
        return true;
    }
    std::string Run() {
        std::string result = Concatenation();
        if (Take(""), !text.empty())
            Fail("unexpected text");
        return result;
    }
    std::string Concatenation() {
        std::string result = Term();
        while (Take("||"))
            result += Term();
        return result;
    }
    std::string Term() {
        if (Take("REPLACE(")) {
            std::string subject, search, replacement, out;
            for (std::string* arg : {&subject, &search, &replacement})
                if (*arg = Concatenation(), !Take(arg == &replacement ? ")" : ","))
                    Fail("expected a token");
            // Every occurrence, left to right, as the server replaces them.
            for (std::size_t i = 0; i < subject.size();) {
                const bool found =
                    !search.empty() && subject.compare(i, search.size(), search) == 0;
                out += found ? replacement : std::string(1, subject[i]);
                i += found ? search.size() : 1;
            }
            return out;
        }
        if (Take("CHR(")) {
            std::size_t used = 0;
            const int code = std::stoi(std::string(text), &used);
            if (text.remove_prefix(used), !Take(")"))
                Fail("expected a token");
            return std::string(1, char(code));
        }
        if (Take("'")) {
            std::string literal;
            for (std::size_t end; (end = text.find('\'')) != std::string_view::npos;) {
                literal += text.substr(0, end);
                text.remove_prefix(end + 1);
                if (!text.starts_with('\''))
                    return literal;
                literal += '\'';
                text.remove_prefix(1);
            }
            Fail("unterminated literal");
        }
        if (Take(parameter))
            return value;
        Fail("unknown term");
    }
};

} // namespace

class TestEscapeChain : public QObject {
    Q_OBJECT
private slots:
    void fieldsComeBackWhole_data();
    void fieldsComeBackWhole();
};

void TestEscapeChain::fieldsComeBackWhole_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("bar") << QByteArray("a|b|");
    QTest::newRow("backslash") << QByteArray("a\\b\\\\");
    QTest::newRow("nul") << QByteArray("a\0b", 3);
    QTest::newRow("all three") << QByteArray("|\\\0|\0\\x", 7);
}

// A message whose length, text and typed item all hold the value comes back with every byte.
void TestEscapeChain::fieldsComeBackWhole() {
    QFETCH(QByteArray, value);
    // The field function's parameter and expression, from the block as the driver sends it.
    const std::string& block = ReadAheadBlock();
    const std::size_t start = block.find("FUNCTION f("), nameEnd = block.find(' ', start + 11);
    const std::size_t body = block.find("RETURN ", block.find(" BEGIN ", start));
    const std::size_t end = block.find("; END;", body);
    QVERIFY2(start != std::string::npos && nameEnd != std::string::npos &&
                 body != std::string::npos && end != std::string::npos,
             "no field function f in the read-ahead block");
    const std::string parameter = block.substr(start + 11, nameEnd - start - 11);
    const std::string expression = block.substr(body + 7, end - body - 7);
    const auto field = [&](const std::string& x) {
        return Evaluator{expression, parameter, x}.Run();
    };
    const std::string x = value.toStdString();
    std::string reply;
    try {
        reply = "TM1|M" + ("V" + field(x)) + ("V" + field(x)) + "T" + field("9") + "V" + field(x) +
                ".Z";
    } catch (const std::exception& e) {
        QFAIL(e.what());
    }
    Batch batch;
    QVERIFY2(ParseReply(reply, batch), reply.c_str());
    QCOMPARE(batch.held.size(), std::size_t(1));
    const HeldMessage& message = *batch.held[0].message;
    QCOMPARE(QByteArray::fromStdString(message.length.value), value);
    QCOMPARE(QByteArray::fromStdString(message.text.value), value);
    QCOMPARE(message.typed.size(), std::size_t(1));
    QCOMPARE(QByteArray::fromStdString(message.typed[0].result.value), value);
}

QTEST_GUILESS_MAIN(TestEscapeChain)
#include "tst_oracle_escapechain.moc"
