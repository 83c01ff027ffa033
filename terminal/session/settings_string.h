#pragma once
// The line settings given on the command line after "/P": baud rate, data bits, parity and stop
// bits, as in "9600,8,N,1".

#include <string_view>

#include "terminal/config/port_config.h"

// Applies the settings text (everything after "/P", already upper-cased) to the record. The
// text is split at every ',' and ' ', empty pieces are not counted, and the pieces set in turn
// BaudRate (its decimal value), ByteSize (low 8 bits of its decimal value), Parity (N O E M S)
// and StopBits (1, 1.5, 2); an unknown parity or stop-bits piece leaves that field as it was,
// and pieces after the fourth are ignored, further switches included. Other fields keep their
// values.
void ApplySettingsString(std::string_view settings, PortConfig& config);
