#pragma once
// A dialog asked for through the prompt service, as plain data: which dialog, the values its
// controls start with, and the values they hold when the user pressed OK. The toolkit builds
// the dialog from its id on the GUI thread; a test script answers it without any window.

#include <map>
#include <string>

#include "platform/ui/message_box_types.h"
#include "platform/ui/prompt_gate.h"

namespace platform {

// Control values by name: texts of edits and combos, "0"/"1" of check boxes.
using DialogFields = std::map<std::string, std::string>;

struct DialogRequest {
    // Names the dialog, as its class does ("CPortSettingsDlg").
    std::string id;
    DialogFields fields;
    // The port the dialog belongs to; none: the asking thread's owner.
    PromptOwner owner = kNoPromptOwner;
};

struct DialogAnswer {
    // IDOK, or IDCANCEL when the user cancelled, the port closed, or the dialog is unknown.
    int button = IDCANCEL;
    // The controls' values on OK; the request's values on Cancel.
    DialogFields fields;
};

}  // namespace platform
