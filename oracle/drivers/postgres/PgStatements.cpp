// What the PL/SQL the program sends is to this driver, and reading the connect string. Both run
// without a server.
#include "PgDriver.h"
#include "PlsqlTexts.h"

#include <climits>
#include <string_view>
#include <utility>

namespace ocidrv::pg {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// The receive's time-out as a whole number of seconds: orafce takes no PL/SQL expression.
bool WholeSeconds(std::string_view text, int& out) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > INT_MAX)
            return false;
    }
    out = static_cast<int>(negative ? -value : value);
    return true;
}

} // namespace

Statement Classify(std::string_view text) {
    Statement st;
    st.text.assign(text);

    // The procedures and synonyms of Generate Procedures, recognised as they stand.
    static constexpr std::pair<std::string_view, StatementKind> kFixed[] = {
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

    // The receiver's statements, in any letter case and spacing.
    RecognisedStatement recognised = Recognise(text);
    switch (recognised.kind) {
    case ReceiverStatement::Receive:
        if (!WholeSeconds(recognised.timeout, st.timeout))
            break;
        st.kind = StatementKind::Receive;
        st.placeholder = std::move(recognised.placeholder);
        st.pipe = std::move(recognised.pipe);
        break;
    case ReceiverStatement::UnpackLength:
    case ReceiverStatement::UnpackText:
        // The variable's type, not its name, says which item type is wanted.
        st.kind = StatementKind::Unpack;
        st.placeholder = std::move(recognised.placeholder);
        break;
    case ReceiverStatement::TypedItem:
        st.kind = StatementKind::TypedItem;
        break;
    case ReceiverStatement::Purge:
        st.kind = StatementKind::Purge;
        st.pipe = std::move(recognised.pipe);
        break;
    case ReceiverStatement::Other:
        break;
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
