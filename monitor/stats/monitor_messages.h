#pragma once
// The monitor's private window messages. The counter sources post the report messages to the
// table view with wParam 0 and lParam 0; the view posts the polling state to its frame.

#include "platform/win/win_types.h"

constexpr UINT WM_POLLING_STATE = 0x1634;
constexpr UINT WM_HOURLY_REPORT = 0x1635;
constexpr UINT WM_DAILY_REPORT = 0x1636;
constexpr UINT WM_CUSTOM_REPORT = 0x1637;
