// Values between the server's text results and the caller's bound variables. A value is
// checked against its variable before anything is written, so that a failed execute leaves
// every variable as it was.
#include "PgValues.h"

#include "Oci.h"
#include "PgSql.h"
#include "PlsqlTexts.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace ocidrv::pg {

const Bind* FindBind(const std::vector<Bind>& binds, std::string_view name) {
    for (const Bind& b : binds)
        if (SameName(b.name, name))
            return &b;
    return nullptr;
}

bool CheckBinds(const std::vector<Bind>& binds, std::initializer_list<std::string_view> wanted,
                Error& error) {
    for (std::string_view name : wanted) {
        if (!FindBind(binds, name)) {
            error = OwnError(OCI_RC_NOT_ALL_BOUND, " (" + std::string(name) + ")");
            return false;
        }
    }
    for (const Bind& b : binds) {
        bool known = false;
        for (std::string_view name : wanted)
            known = known || SameName(b.name, name);
        if (!known) {
            error = OwnError(OCI_RC_BAD_VARIABLE,
                             " (" + b.name + " is not a placeholder of the statement)");
            return false;
        }
    }
    return true;
}

bool TypedBlockUnpacks(int orafceType) {
    return orafceType == kOrafceNumber || orafceType == kOrafceText || orafceType == kOrafceDate ||
           orafceType == kOrafceTimestampTz || orafceType == kOrafceBytea ||
           orafceType == kOrafceRecord;
}

std::vector<OutValue> TypedItemValues(int orafceType, bool valueNull, std::string value) {
    auto typed = [&](int oracleType) {
        return std::vector<OutValue>{{kTypedType, false, std::to_string(oracleType)},
                                     {kTypedValue, valueNull, std::move(value)}};
    };
    switch (orafceType) {
    case kOrafceNone: // no further item: the block assigns '', which is NULL
        return {{kTypedType, false, std::to_string(kItemNone)}, {kTypedValue, true, {}}};
    case kOrafceNumber:
        return typed(kItemNumber);
    case kOrafceText:
        return typed(kItemVarchar2);
    case kOrafceDate:
        return typed(kItemDate);
    case kOrafceTimestampTz: // a timestamp with or without its zone: no type of Oracle's pipes
        return typed(kItemTimestamp);
    case kOrafceRecord: // a row, as its text
        return typed(kItemRecord);
    case kOrafceBytea: // Oracle's RAW, which the block shows as a word
        return {{kTypedType, false, std::to_string(kItemRaw)}, {kTypedValue, false, "UNKNOWN"}};
    default: // a type the block does not unpack: the value is left as it was
        return {{kTypedType, false, std::to_string(orafceType)}};
    }
}

bool ParseInteger(const std::string& text, long long& value, bool& overflow) {
    overflow = false;
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    const std::size_t digits = i;
    unsigned long long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (v > (std::numeric_limits<unsigned long long>::max() - 9) / 10)
            overflow = true;
        else
            v = v * 10 + unsigned(text[i] - '0');
        ++i;
    }
    if (i == digits)
        return false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
    }
    if (i != text.size())
        return false;
    // The negative side reaches one further than the positive side.
    const auto most = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    if (overflow || v > most + (negative ? 1 : 0)) {
        overflow = true;
        value = 0;
    } else if (negative) {
        value = v == most + 1 ? std::numeric_limits<long long>::min() : -static_cast<long long>(v);
    } else {
        value = static_cast<long long>(v);
    }
    return true;
}

bool WriteOut(const std::vector<Bind>& binds, const std::vector<OutValue>& values, Error& error) {
    struct Staged {
        const Bind* bind;
        bool isNull;
        long long integer;
        const std::string* text;
    };
    std::vector<Staged> staged;
    staged.reserve(values.size());
    for (const OutValue& v : values) {
        const Bind* b = FindBind(binds, v.name);
        if (!b)
            continue; // checked before the statement ran
        Staged s{b, v.isNull, 0, &v.text};
        if (b->type == SQLT_INT && !v.isNull) {
            bool overflow = false;
            if (!ParseInteger(v.text, s.integer, overflow)) {
                error =
                    OwnError(OCI_RC_INVALID_NUMBER, " (\"" + v.text + "\" for " + b->name + ")");
                return false;
            }
            const int bits = b->length * 8;
            const long long lo =
                bits >= 64 ? std::numeric_limits<long long>::min() : -(1LL << (bits - 1));
            const long long hi =
                bits >= 64 ? std::numeric_limits<long long>::max() : (1LL << (bits - 1)) - 1;
            if (overflow || s.integer < lo || s.integer > hi) {
                error = OwnError(OCI_RC_INT_OVERFLOW, " (" + v.text + " does not fit the " +
                                                          std::to_string(b->length) +
                                                          "-byte variable " + b->name + ")");
                return false;
            }
        } else if (b->type == SQLT_STR && !v.isNull) {
            if (v.text.size() + 1 > static_cast<std::size_t>(b->length)) {
                error = OwnError(OCI_RC_VALUE_ERROR,
                                 " (the value has " + std::to_string(v.text.size()) + " bytes, " +
                                     b->name + " holds " + std::to_string(b->length - 1) +
                                     " and its terminator)");
                return false;
            }
        }
        staged.push_back(s);
    }
    for (const Staged& s : staged) {
        const Bind& b = *s.bind;
        if (b.type == SQLT_INT) {
            const long long v = s.isNull ? 0 : s.integer;
            switch (b.length) {
            case 1: {
                const auto x = static_cast<std::int8_t>(v);
                std::memcpy(b.buffer, &x, 1);
                break;
            }
            case 2: {
                const auto x = static_cast<std::int16_t>(v);
                std::memcpy(b.buffer, &x, 2);
                break;
            }
            case 4: {
                const auto x = static_cast<std::int32_t>(v);
                std::memcpy(b.buffer, &x, 4);
                break;
            }
            default: {
                const auto x = static_cast<std::int64_t>(v);
                std::memcpy(b.buffer, &x, 8);
                break;
            }
            }
        } else {
            char* out = static_cast<char*>(b.buffer);
            const std::size_t n = s.isNull ? 0 : s.text->size();
            std::memcpy(out, s.text->data(), n);
            out[n] = '\0';
        }
        if (b.indicator)
            *b.indicator = s.isNull ? -1 : 0;
    }
    return true;
}

} // namespace ocidrv::pg
