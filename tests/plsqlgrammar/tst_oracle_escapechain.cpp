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
class Evaluator {
public:
    Evaluator(std::string_view expression, std::string_view parameter, std::string value)
        : m_text(expression), m_parameter(parameter), m_value(std::move(value)) {}

    std::string Run() {
        std::string result = Concatenation();
        Space();
        if (m_at != m_text.size())
            Fail("unexpected text");
        return result;
    }

private:
    [[noreturn]] void Fail(const char* what) const {
        throw std::runtime_error(std::string(what) + " at " + std::string(m_text.substr(m_at)));
    }
    void Space() {
        while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at])))
            ++m_at;
    }
    bool Take(std::string_view token) {
        Space();
        if (m_text.size() - m_at < token.size())
            return false;
        for (std::size_t i = 0; i < token.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(m_text[m_at + i])) !=
                std::toupper(static_cast<unsigned char>(token[i])))
                return false;
        m_at += token.size();
        return true;
    }
    void Expect(std::string_view token) {
        if (!Take(token))
            Fail("expected a token");
    }
    std::string Concatenation() {
        std::string result = Term();
        while (Take("||"))
            result += Term();
        return result;
    }
    std::string Term() {
        if (Take("REPLACE(")) {
            std::string subject = Concatenation();
            Expect(",");
            const std::string search = Concatenation();
            Expect(",");
            const std::string replacement = Concatenation();
            Expect(")");
            // Every occurrence, left to right, as the server replaces them.
            std::string out;
            for (std::size_t at = 0; at < subject.size();) {
                if (!search.empty() && subject.compare(at, search.size(), search) == 0) {
                    out += replacement;
                    at += search.size();
                } else {
                    out += subject[at++];
                }
            }
            return out;
        }
        if (Take("CHR(")) {
            Space();
            int code = 0;
            while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at])))
                code = code * 10 + (m_text[m_at++] - '0');
            Expect(")");
            return std::string(1, char(code));
        }
        Space();
        if (m_at < m_text.size() && m_text[m_at] == '\'') {
            std::string literal;
            for (++m_at; m_at < m_text.size(); ++m_at) {
                if (m_text[m_at] == '\'') {
                    if (m_at + 1 < m_text.size() && m_text[m_at + 1] == '\'') {
                        literal += '\'';
                        ++m_at;
                        continue;
                    }
                    ++m_at;
                    return literal;
                }
                literal += m_text[m_at];
            }
            Fail("unterminated literal");
        }
        if (Take(m_parameter))
            return m_value;
        Fail("unknown term");
    }

    std::string_view m_text;
    std::string_view m_parameter;
    std::string m_value;
    std::size_t m_at = 0;
};

// The field function's expression and parameter, from the block as the driver sends it.
struct FieldFunction {
    std::string parameter, expression;
};
FieldFunction FieldFunctionOfBlock() {
    const std::string& block = ReadAheadBlock();
    static constexpr std::string_view kStart = "FUNCTION f(";
    const std::size_t start = block.find(kStart);
    if (start == std::string::npos)
        return {};
    const std::size_t nameEnd = block.find(' ', start + kStart.size());
    const std::size_t body = block.find("RETURN ", block.find(" BEGIN ", start));
    const std::size_t end = block.find("; END;", body);
    if (nameEnd == std::string::npos || body == std::string::npos || end == std::string::npos)
        return {};
    return {block.substr(start + kStart.size(), nameEnd - start - kStart.size()),
            block.substr(body + 7, end - body - 7)};
}

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
    QTest::newRow("escapes as data") << QByteArray("\\!\\0\\\\!");
    QTest::newRow("empty") << QByteArray("");
}

// A message whose length, text and typed item all hold the value comes back with every byte.
void TestEscapeChain::fieldsComeBackWhole() {
    QFETCH(QByteArray, value);
    const FieldFunction f = FieldFunctionOfBlock();
    QVERIFY2(!f.expression.empty(), "no field function f in the read-ahead block");
    const auto field = [&](const std::string& x) {
        return Evaluator(f.expression, f.parameter, x).Run();
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
