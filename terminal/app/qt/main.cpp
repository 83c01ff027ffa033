#include "terminal/app/qt/halvo_app.h"

int main(int argc, char** argv) {
    CHalvoApp app(argc, argv);
    if (!app.InitInstance()) {
        return app.ExitInstance(0);
    }
    return app.ExitInstance(CHalvoApp::exec());
}
