#include "pallock_app.h"

int main(int argc, char* argv[]) {
    CPallockApp app;
    return app.Run(argc, argv);
}
