#pragma once
// The text that reports a failed call, as the window's error box shows it and a terminal
// writes it: the failing function's name (from the area's function code), then the call
// layer's message.
#include "Oci.h"

#include <QString>
#include <cstdint>

QString CallErrorText(std::uint8_t functionCode, const QString& message);

// The report of the last failed call on area, with the message the log-on lda gives for it.
QString CallErrorText(Lda_Def& lda, const Cda_Def& area);
