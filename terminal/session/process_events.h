#pragma once
// The two process-wide events of halvo2: one set each time a port thread has ended, waited for
// by the port frame being destroyed, and the "ssl" event that admits one secure connection
// set-up at a time.

#include "platform/sync/event.h"

// Null before CreateProcessEvents and after CloseProcessEvents.
platform::EventHandle PortThreadEndedEvent();
platform::EventHandle SslSetupEvent();

// Unnamed auto-reset, not signalled; and "ssl", auto-reset, signalled.
void CreateProcessEvents();
void CloseProcessEvents();
