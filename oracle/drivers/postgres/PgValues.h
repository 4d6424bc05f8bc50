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
    std::string_view name;
    bool isNull;
    std::string text;
};

// The typed item block's placeholders.
inline constexpr std::string_view kTypedType = ":v_typ";
inline constexpr std::string_view kTypedValue = ":v_res";

// True for the item types (orafce's codes) that the typed item block takes off the message.
bool TypedBlockUnpacks(int orafceType);
// What the typed item block hands back for an item of orafce's type orafceType whose unpacked
// text is value: the type in Oracle's code and, for the types it unpacks, the value.
std::vector<OutValue> TypedItemValues(int orafceType, bool valueNull, std::string value);

const Bind* FindBind(const std::vector<Bind>& binds, std::string_view name);

// Every placeholder of the statement is bound, and nothing else is.
bool CheckBinds(const std::vector<Bind>& binds, std::initializer_list<std::string_view> wanted,
                Error& error);

// A number's text (optional sign, digits, optional fraction) as an integer, the fraction cut off.
bool ParseInteger(const std::string& text, long long& value, bool& overflow);

// Writes the values into the caller's variables: all of them or, when one does not fit, none.
bool WriteOut(const std::vector<Bind>& binds, const std::vector<OutValue>& values, Error& error);

} // namespace ocidrv::pg
