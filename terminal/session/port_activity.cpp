#include "terminal/session/port_activity.h"

ActivityCode ActivityAfter(TransferChange change, const TransferState& s) {
    switch (change) {
        case TransferChange::StartReceiving:
            return s.sending    ? ACTIVITY_SENDING_RECEIVING
                   : s.sendFile ? ACTIVITY_SENDING_FILE_RECEIVING
                                : ACTIVITY_RECEIVING;
        case TransferChange::StopReceiving:
            return s.sending    ? ACTIVITY_SENDING
                   : s.sendFile ? ACTIVITY_SENDING_FILE
                                : ACTIVITY_READY;
        case TransferChange::StartSending:
            return s.receiving     ? ACTIVITY_SENDING_RECEIVING
                   : s.receiveFile ? ACTIVITY_RECEIVING_FILE_SENDING
                                   : ACTIVITY_SENDING;
        case TransferChange::StopSending:
            return s.receiving     ? ACTIVITY_RECEIVING
                   : s.receiveFile ? ACTIVITY_RECEIVING_FILE
                                   : ACTIVITY_READY;
        case TransferChange::ReceiveFileOpened:
            return s.sendFile  ? ACTIVITY_SENDING_RECEIVING_FILES
                   : s.sending ? ACTIVITY_RECEIVING_FILE_SENDING
                               : ACTIVITY_RECEIVING_FILE;
        case TransferChange::ReceiveFileStopped:
            if (s.sendFile) {
                return ACTIVITY_SENDING_FILE;
            }
            if (s.sending && s.receiving) {
                return ACTIVITY_SENDING_RECEIVING;
            }
            return s.receiving ? ACTIVITY_RECEIVING : s.sending ? ACTIVITY_SENDING : ACTIVITY_READY;
        case TransferChange::SendFileOpened:
            return s.receiveFile ? ACTIVITY_SENDING_RECEIVING_FILES
                   : s.receiving ? ACTIVITY_SENDING_FILE_RECEIVING
                                 : ACTIVITY_SENDING_FILE;
        case TransferChange::SendFileEnded:
            return s.receiveFile ? ACTIVITY_RECEIVING_FILE
                   : s.receiving ? ACTIVITY_RECEIVING
                                 : ACTIVITY_READY;
    }
    return ACTIVITY_READY;
}
