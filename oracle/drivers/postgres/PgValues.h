#pragma once
// Values between the server's text results and the caller's bound variables.
#include "Driver.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace ocidrv::pg {

// One value the statement hands back, for the placeholder of that name.
struct OutValue {
    const std::string* name;
    bool isNull;
    std::string text;
};

const Bind* FindBind(const std::vector<Bind>& binds, std::string_view name);

// Every placeholder of the statement is bound, and nothing else is.
bool CheckBinds(const std::vector<Bind>& binds, std::initializer_list<std::string_view> wanted,
                Error& error);

// A number's text (optional sign, digits, optional fraction) as an integer, the fraction cut off.
bool ParseInteger(const std::string& text, long long& value, bool& overflow);

// Writes the values into the caller's variables: all of them or, when one does not fit, none.
bool WriteOut(const std::vector<Bind>& binds, const std::vector<OutValue>& values, Error& error);

} // namespace ocidrv::pg
