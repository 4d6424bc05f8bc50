#pragma once
// The platform's basic types as the framework's callers spell them.
using BOOL = int;
using UINT = unsigned int;
inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;
