// Values between what the read-ahead block recorded and the caller's bound variables: each
// outcome written into the receiver's binds as the client library would write the server's.
#include "OciReadAhead.h"

#include "Oci.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

namespace ocidrv::ora {
namespace {

const Bind* Named(const std::vector<Bind>& binds, std::string_view name) {
    for (const Bind& bind : binds)
        if (SameName(bind.name, name))
            return &bind;
    return nullptr;
}

// The integer into the variable of the bound length, or false when it does not fit.
bool WriteInteger(const Bind& bind, long long value) {
    if (bind.buffer == nullptr)
        return true;
    const auto put = [&](auto typed) {
        using T = decltype(typed);
        if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())
            return false;
        const T v = T(value);
        std::memcpy(bind.buffer, &v, sizeof v);
        return true;
    };
    switch (bind.length) {
    case 1:
        return put(std::int8_t{});
    case 2:
        return put(std::int16_t{});
    case 4:
        return put(std::int32_t{});
    case 8:
        return put(std::int64_t{});
    default:
        return false;
    }
}

void SetIndicator(const Bind& bind, short value) {
    if (bind.indicator != nullptr)
        *bind.indicator = value;
}

// What the server gives a statement whose outcome the block could not know: the value did
// not come back with the messages read ahead.
Error NotReadAhead() {
    return Numbered(OCI_RC_VALUE_ERROR,
                    "PL/SQL: numeric or value error: the item could not be read ahead");
}

// Writes one value into a bind: a NULL, a text, or an integer given as text.
bool WriteValue(const Bind& bind, const Outcome& outcome, Error& error) {
    if (outcome.kind == Outcome::Null) {
        SetIndicator(bind, -1);
        return true;
    }
    if (outcome.kind == Outcome::Unassigned) {
        // An IN OUT bind the block never assigned comes back as it went in; an empty string
        // went in, and comes back, as NULL.
        const bool empty = bind.type == SQLT_STR && bind.buffer != nullptr && bind.length > 0 &&
                           *static_cast<const char*>(bind.buffer) == '\0';
        if (empty)
            SetIndicator(bind, -1);
        return true;
    }
    if (bind.type == SQLT_INT) {
        long long value = 0;
        const std::string& text = outcome.value;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size() || !WriteInteger(bind, value)) {
            error = NotReadAhead();
            return false;
        }
    } else {
        if (bind.buffer != nullptr) {
            if (int(outcome.value.size()) + 1 > bind.length) {
                error = NotReadAhead();
                return false;
            }
            std::memcpy(bind.buffer, outcome.value.data(), outcome.value.size());
            static_cast<char*>(bind.buffer)[outcome.value.size()] = '\0';
        }
    }
    SetIndicator(bind, 0);
    return true;
}

} // namespace

bool ReceiverBinds(ReceiverStatement kind, const std::vector<Bind>& binds) {
    const auto one = [&](std::string_view name, int type) {
        return binds.size() == 1 && SameName(binds[0].name, name) && binds[0].type == type;
    };
    switch (kind) {
    case ReceiverStatement::Receive:
        return one(":sta", SQLT_INT);
    case ReceiverStatement::UnpackLength:
        return one(":len", SQLT_INT);
    case ReceiverStatement::UnpackText:
        return one(":chr", SQLT_STR);
    case ReceiverStatement::TypedItem: {
        const Bind* type = Named(binds, ":v_typ");
        const Bind* result = Named(binds, ":v_res");
        return binds.size() == 2 && type != nullptr && type->type == SQLT_INT &&
               result != nullptr && result->type == SQLT_STR;
    }
    default:
        return binds.empty();
    }
}

bool AnswerStatus(int status, const std::vector<Bind>& binds) {
    const Outcome outcome{Outcome::Value, std::to_string(status), {}};
    Error ignored;
    return WriteValue(binds[0], outcome, ignored);
}

bool AnswerUnpack(const Outcome& outcome, const std::vector<Bind>& binds, Error& error) {
    if (outcome.kind == Outcome::Failure) {
        error = outcome.error;
        return false;
    }
    if (outcome.kind == Outcome::Unknown) {
        error = NotReadAhead();
        return false;
    }
    return WriteValue(binds[0], outcome, error);
}

bool AnswerTyped(const TypedStep& step, const std::vector<Bind>& binds, Error& error) {
    if (step.result.kind == Outcome::Failure) {
        error = step.result.error;
        return false;
    }
    if (step.result.kind == Outcome::Unknown) {
        error = NotReadAhead();
        return false;
    }
    // Nothing is written unless all of it can be.
    const Bind* result = Named(binds, ":v_res");
    if (step.result.kind == Outcome::Value && int(step.result.value.size()) + 1 > result->length) {
        error = NotReadAhead();
        return false;
    }
    // In the order the binds were made, as the server writes them back.
    for (const Bind& bind : binds) {
        const bool isType = SameName(bind.name, ":v_typ");
        const Outcome value =
            isType ? Outcome{Outcome::Value, std::to_string(step.type), {}} : step.result;
        if (!WriteValue(bind, value, error))
            return false;
    }
    return true;
}

} // namespace ocidrv::ora
