#pragma once
// Decimal conversions of the texts that name ports and carry line settings.

#include <cstdint>
#include <optional>
#include <string_view>

// The value of the leading decimal digits, as atoi reads them: leading white space is skipped,
// one '+' or '-' may come first, reading stops at the first non-digit, no digits give 0. A
// value beyond the int range saturates at its limit instead of wrapping.
int LeadingDecimalValue(std::string_view text);

// The value of a text that is wholly a decimal number: an optional sign and at least one digit,
// nothing before or after. Empty text, stray characters or a value beyond 64 bits give nothing.
std::optional<std::int64_t> WholeDecimalValue(std::string_view text);
