#pragma once
// Which activity text a port shows after a change of its transfer state. A port sends either
// its test pattern or a file, receives into its display or a receive file, or both; every
// change of these posts one code to the activity pane, chosen by the rules below.

#include "terminal/session/port_messages.h"

// The transfer state as it is after the change.
struct TransferState {
    bool receiving = false;
    bool sending = false;
    bool receiveFile = false;  // a receive file is open
    bool sendFile = false;     // a send file is open
};

enum class TransferChange {
    StartReceiving,
    StopReceiving,
    StartSending,
    StopSending,
    ReceiveFileOpened,
    ReceiveFileStopped,
    SendFileOpened,
    SendFileEnded,  // stopped by the user, or its end reached
};

ActivityCode ActivityAfter(TransferChange change, const TransferState& state);
