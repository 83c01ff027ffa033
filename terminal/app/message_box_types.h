#pragma once
// The icon and button styles of a message box, with their Windows names and values.

#include "platform/win/win_types.h"

#ifndef _WIN32

constexpr UINT MB_OK = 0x00000000u;
constexpr UINT MB_OKCANCEL = 0x00000001u;
constexpr UINT MB_YESNO = 0x00000004u;
constexpr UINT MB_ICONHAND = 0x00000010u;
constexpr UINT MB_ICONQUESTION = 0x00000020u;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030u;
constexpr UINT MB_ICONINFORMATION = 0x00000040u;

#endif  // _WIN32
