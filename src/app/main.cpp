#include "app/velquor_app.h"

int main(int argc, char** argv) {
    velquor::CVelquorApp app(argc, argv);
    return app.Run();
}
