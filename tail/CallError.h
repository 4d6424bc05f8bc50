#pragma once
// The text that reports a failed call, as the window's error box shows it: the failing
// function's name (from the area's function code), then the call layer's message.
#include <QString>
#include <cstdint>

QString CallErrorText(std::uint8_t functionCode, const QString& message);
