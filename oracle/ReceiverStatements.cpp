// Recognising the receiver's statements. Runs once per statement the receiver sends, without a
// server, so it stays a plain scanner.
#include "ReceiverStatements.h"

#include <utility>

namespace {

bool IsIdentChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '#';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A cursor over the text with the few steps the PL/SQL shapes need. Keywords match ignoring
// case, blanks (spaces, tabs, line ends) may stand between any two tokens.
class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    void blanks() {
        while (m_pos < m_text.size() && IsBlank(m_text[m_pos]))
            ++m_pos;
    }
    bool keyword(std::string_view word) {
        blanks();
        if (m_text.size() - m_pos < word.size())
            return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (Lower(m_text[m_pos + i]) != word[i])
                return false;
        const std::size_t end = m_pos + word.size();
        if (end < m_text.size() && IsIdentChar(m_text[end]) && IsIdentChar(word.back()))
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
        while (end < m_text.size() && IsIdentChar(m_text[end]))
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
    // The last argument of a call: everything up to its closing parenthesis, blanks trimmed. It
    // may hold no quote, parenthesis, separator or placeholder, so that it is one plain value
    // or name (0, 5, dbms_pipe.maxwait) and nothing can hide behind it.
    bool lastArgument(std::string& out) {
        blanks();
        const std::size_t end = m_text.find(')', m_pos);
        if (end == std::string_view::npos)
            return false;
        std::string_view argument = m_text.substr(m_pos, end - m_pos);
        while (!argument.empty() && IsBlank(argument.back()))
            argument.remove_suffix(1);
        if (argument.empty() || argument.find_first_of("'(;,:") != std::string_view::npos)
            return false;
        out.assign(argument);
        m_pos = end;
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

bool DbmsPipeCall(Scanner& s, std::string_view function) {
    return s.keyword("begin") && s.keyword("dbms_pipe") && s.symbol(".") && s.keyword(function) &&
           s.symbol("(");
}

bool BlockEnd(Scanner& s) {
    return s.symbol(")") && s.symbol(";") && s.keyword("end") && s.symbol(";") && s.atEnd();
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

RecognisedStatement ScanReceive(std::string_view text) {
    RecognisedStatement st;
    Scanner s(text);
    if (!(s.keyword("begin") && s.placeholder(st.placeholder) && s.symbol(":=") &&
          s.keyword("dbms_pipe") && s.symbol(".") && s.keyword("receive_message") &&
          s.symbol("(") && s.literal(st.pipe) && s.symbol(",") && s.lastArgument(st.timeout) &&
          BlockEnd(s)))
        return {};
    st.kind = ReceiverStatement::Receive;
    st.exact = st.placeholder == ":sta" && text == ReceiveBlock(st.pipe, st.timeout);
    return st;
}

RecognisedStatement ScanUnpack(std::string_view text) {
    RecognisedStatement st;
    Scanner s(text);
    if (!(DbmsPipeCall(s, "unpack_message") && s.placeholder(st.placeholder) && BlockEnd(s)))
        return {};
    if (SameIgnoringCase(st.placeholder, ":len"))
        st.kind = ReceiverStatement::UnpackLength;
    else if (SameIgnoringCase(st.placeholder, ":chr"))
        st.kind = ReceiverStatement::UnpackText;
    else
        return {};
    st.exact = text == kUnpackLengthBlock || text == kUnpackTextBlock;
    return st;
}

RecognisedStatement ScanPurge(std::string_view text) {
    RecognisedStatement st;
    Scanner s(text);
    if (!(DbmsPipeCall(s, "purge") && s.literal(st.pipe) && BlockEnd(s)))
        return {};
    st.kind = ReceiverStatement::Purge;
    st.exact = text == PurgeBlock(st.pipe);
    return st;
}

} // namespace

RecognisedStatement Recognise(std::string_view text) {
    if (text == kTypedItemBlock)
        return {ReceiverStatement::TypedItem, {}, {}, {}, true};
    for (RecognisedStatement (*scan)(std::string_view) : {ScanReceive, ScanUnpack, ScanPurge}) {
        RecognisedStatement st = scan(text);
        if (st.kind != ReceiverStatement::Other)
            return st;
    }
    return {};
}
