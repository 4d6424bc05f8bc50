// Recognising the receiver's fixed statements word for word. Runs without a server, once per
// statement, so it stays a plain scanner.
#include "OciReadAhead.h"
#include "PlsqlTexts.h"

#include <string_view>

namespace ocidrv::ora {
namespace {

// The pipe's name from the quoted literal that starts at text; rest is what follows it.
bool Unquote(std::string_view text, std::string& name, std::string_view& rest) {
    name.clear();
    std::size_t i = 0;
    for (;;) {
        if (i >= text.size())
            return false;
        if (text[i] == '\'') {
            if (i + 1 < text.size() && text[i + 1] == '\'') {
                name += '\'';
                i += 2;
                continue;
            }
            rest = text.substr(i + 1);
            return true;
        }
        name += text[i++];
    }
}

// The time-out of a receive: whatever expression the statement gives, as long as it is one
// argument and nothing else follows. "0" asks for no wait.
bool TimeOut(std::string_view rest, bool& wait) {
    static constexpr std::string_view kEnd = "); end;";
    if (!rest.starts_with(", ") || !rest.ends_with(kEnd))
        return false;
    const std::string_view timeout = rest.substr(2, rest.size() - 2 - kEnd.size());
    if (timeout.empty() || timeout.find_first_of("'();,:") != std::string_view::npos)
        return false;
    wait = timeout != "0";
    return true;
}

} // namespace

Fixed Recognise(const std::string& statement) {
    static constexpr std::string_view kReceiveStart = "begin :sta := dbms_pipe.receive_message('";
    static constexpr std::string_view kPurgeStart = "begin dbms_pipe.purge('";
    const std::string_view text = statement;
    Fixed fixed;
    std::string_view rest;
    if (text == "begin dbms_pipe.unpack_message(:len); end;")
        fixed.kind = Fixed::UnpackLength;
    else if (text == "begin dbms_pipe.unpack_message(:chr); end;")
        fixed.kind = Fixed::UnpackText;
    else if (text == kTypedItemBlock)
        fixed.kind = Fixed::TypedItem;
    else if (text.starts_with(kReceiveStart) &&
             Unquote(text.substr(kReceiveStart.size()), fixed.pipe, rest) &&
             TimeOut(rest, fixed.wait))
        fixed.kind = Fixed::Receive;
    else if (text.starts_with(kPurgeStart) &&
             Unquote(text.substr(kPurgeStart.size()), fixed.pipe, rest) && rest == "); end;")
        fixed.kind = Fixed::Purge;
    return fixed;
}

} // namespace ocidrv::ora
