// Recognising the PL/SQL the program sends, and reading the connect string. Both run without a
// server; the receive text is recognised once per message, so this stays a plain scanner.
#include "PgDriver.h"
#include "PlsqlTexts.h"

#include <climits>
#include <string_view>
#include <utility>

namespace ocidrv::pg {

namespace {

bool isIdentChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '#';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// A cursor over the text with the few steps the PL/SQL shapes need. Keywords match ignoring
// case, blanks (spaces, tabs, line ends) may stand between any two tokens.
class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    void blanks() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }
    bool keyword(std::string_view word) {
        blanks();
        if (m_text.size() - m_pos < word.size())
            return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (lower(m_text[m_pos + i]) != word[i])
                return false;
        const std::size_t end = m_pos + word.size();
        if (end < m_text.size() && isIdentChar(m_text[end]) && isIdentChar(word.back()))
            return false;
        m_pos = end;
        return true;
    }
    bool symbol(std::string_view s) {
        blanks();
        if (m_text.substr(m_pos, s.size()) != s)
            return false;
        m_pos += s.size();
        return true;
    }
    // ":name" as written.
    bool placeholder(std::string& out) {
        blanks();
        if (m_pos >= m_text.size() || m_text[m_pos] != ':')
            return false;
        std::size_t end = m_pos + 1;
        while (end < m_text.size() && isIdentChar(m_text[end]))
            ++end;
        if (end == m_pos + 1)
            return false;
        out.assign(m_text.substr(m_pos, end - m_pos));
        m_pos = end;
        return true;
    }
    // A quoted literal; '' inside stands for one apostrophe.
    bool literal(std::string& out) {
        blanks();
        if (m_pos >= m_text.size() || m_text[m_pos] != '\'')
            return false;
        out.clear();
        for (std::size_t i = m_pos + 1; i < m_text.size(); ++i) {
            if (m_text[i] != '\'') {
                out += m_text[i];
                continue;
            }
            if (i + 1 < m_text.size() && m_text[i + 1] == '\'') {
                out += '\'';
                ++i;
                continue;
            }
            m_pos = i + 1;
            return true;
        }
        return false;
    }
    bool integer(int& out) {
        blanks();
        std::size_t i = m_pos;
        bool negative = false;
        if (i < m_text.size() && (m_text[i] == '-' || m_text[i] == '+'))
            negative = m_text[i++] == '-';
        const std::size_t digits = i;
        long long value = 0;
        while (i < m_text.size() && m_text[i] >= '0' && m_text[i] <= '9') {
            value = value * 10 + (m_text[i] - '0');
            if (value > INT_MAX)
                return false;
            ++i;
        }
        if (i == digits || (i < m_text.size() && isIdentChar(m_text[i])))
            return false;
        out = static_cast<int>(negative ? -value : value);
        m_pos = i;
        return true;
    }
    bool atEnd() {
        blanks();
        return m_pos == m_text.size();
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

bool dbmsPipeCall(Scanner& s, std::string_view function) {
    return s.keyword("dbms_pipe") && s.symbol(".") && s.keyword(function) && s.symbol("(");
}

bool blockEnd(Scanner& s) {
    return s.symbol(")") && s.symbol(";") && s.keyword("end") && s.symbol(";") && s.atEnd();
}

} // namespace

Statement Classify(std::string_view text) {
    Statement st;
    st.text.assign(text);

    // Tidemark's own fixed texts, recognised as they stand.
    static constexpr std::pair<std::string_view, StatementKind> kFixed[] = {
        {kTypedItemBlock, StatementKind::TypedItem},
        {kCreateSendDebugMessage, StatementKind::CreateDebug},
        {kCreateSendTraceMessage, StatementKind::CreateTrace},
        {kCreateSynonymSendDebugMessage, StatementKind::SynonymDebug},
        {kCreateSynonymSendTraceMessage, StatementKind::SynonymTrace},
    };
    for (const auto& [fixed, kind] : kFixed) {
        if (text == fixed) {
            st.kind = kind;
            return st;
        }
    }

    {
        Scanner s(text);
        std::string name, pipe;
        int timeout = 0;
        if (s.keyword("begin") && s.placeholder(name) && s.symbol(":=") &&
            dbmsPipeCall(s, "receive_message") && s.literal(pipe) && s.symbol(",") &&
            s.integer(timeout) && blockEnd(s)) {
            st.kind = StatementKind::Receive;
            st.placeholder = std::move(name);
            st.pipe = std::move(pipe);
            st.timeout = timeout;
            return st;
        }
    }
    {
        Scanner s(text);
        std::string name;
        if (s.keyword("begin") && dbmsPipeCall(s, "unpack_message") && s.placeholder(name) &&
            blockEnd(s)) {
            st.kind = StatementKind::Unpack;
            st.placeholder = std::move(name);
            return st;
        }
    }
    {
        Scanner s(text);
        std::string pipe;
        if (s.keyword("begin") && dbmsPipeCall(s, "purge") && s.literal(pipe) && blockEnd(s)) {
            st.kind = StatementKind::Purge;
            st.pipe = std::move(pipe);
            return st;
        }
    }
    return st;
}

std::optional<ConnectTarget> ParseConnectString(std::string_view connect, std::string* why) {
    auto fail = [&](std::string text) -> std::optional<ConnectTarget> {
        if (why)
            *why = std::move(text);
        return std::nullopt;
    };
    if (connect.size() < 3 || lower(connect[0]) != 'p' || lower(connect[1]) != 'g' ||
        connect[2] != ':')
        return fail("a PostgreSQL connect string begins with \"pg:\"");
    std::string_view rest = connect.substr(3);
    ConnectTarget target;

    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos)
            return fail("the host in brackets has no closing \"]\"");
        target.host.assign(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
    } else {
        const std::size_t end = rest.find_first_of(":/");
        target.host.assign(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    }
    if (!rest.empty() && rest.front() == ':') {
        rest.remove_prefix(1);
        const std::size_t end = rest.find('/');
        target.port.assign(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        if (target.port.empty() || target.port.size() > 5 ||
            target.port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(target.port) < 1 || std::stoi(target.port) > 65535)
            return fail("the port \"" + target.port + "\" is not a number from 1 to 65535");
    }
    if (!rest.empty() && rest.front() == '/') {
        rest.remove_prefix(1);
        target.database.assign(rest); // the rest, whatever it holds, names the database
        rest = {};
    }
    if (!rest.empty())
        return fail("unexpected \"" + std::string(rest) + "\" after the host");
    for (char c : target.host)
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            return fail("the host name contains a blank");
    return target;
}

} // namespace ocidrv::pg
