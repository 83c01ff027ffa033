#include "monitor/app/qt/seltra_app.h"

int main(int argc, char** argv) {
    CSeltraApp app(argc, argv);
    if (!app.InitInstance()) {
        return 1;
    }
    return CSeltraApp::exec();
}
