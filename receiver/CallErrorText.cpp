#include "CallErrorText.h"

#include <array>

namespace {
// Names of the call interface's functions by function code; every gap is "not used".
constexpr std::array<const char*, 63> kFunctionNames = [] {
    std::array<const char*, 63> names{};
    names.fill("not used");
    names[2] = "OSQL";
    names[4] = "OEXEC, OEXN";
    names[6] = "OBIND";
    names[8] = "ODEFIN";
    names[10] = "ODSRBN";
    names[12] = "OFETCH, OFEN";
    names[14] = "OOPEN";
    names[16] = "OCLOSE";
    names[22] = "ODSC";
    names[24] = "ONAME";
    names[26] = "OSQL3";
    names[28] = "OBNDRV";
    names[30] = "OBNDRN";
    names[34] = "OOPT";
    names[52] = "OCAN";
    names[54] = "OPARSE";
    names[56] = "OEXFET";
    names[58] = "OFLNG";
    names[60] = "ODESCR";
    names[62] = "OBNDRA";
    return names;
}();
} // namespace

QString CallErrorText(std::uint8_t functionCode, const QString& message) {
    QString text = QStringLiteral("ORACLE Error");
    // Code 0 names no function; codes past the table name none either.
    if (functionCode != 0 && functionCode < kFunctionNames.size())
        text += QStringLiteral(" when processing OCI function ") +
                QLatin1String(kFunctionNames[functionCode]);
    return text + QLatin1Char('\n') + message;
}

QString CallErrorText(Lda_Def& lda, const Cda_Def& area) {
    std::array<char, 512> message{};
    oerhms(&lda, area.rc, message.data(), int(message.size()));
    return CallErrorText(area.fc, QString::fromUtf8(message.data()));
}
