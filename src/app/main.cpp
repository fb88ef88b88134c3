#include <cstdio>
#include <string>
#include <vector>

#include "app/app_options.h"
#include "app/velquor_app.h"

int main(int argc, char** argv) {
    // The command line is checked before Qt starts, so --help, --version and usage
    // errors need no display.
    const std::vector<std::string> args(argv + 1, argv + argc);
    velquor::AppOptions options;
    std::string error;
    if (!velquor::ParseAppOptions(velquor::WithoutQtOptions(args), options, error)) {
        std::fprintf(stderr, "velquor: %s\n%s", error.c_str(), velquor::kAppUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(velquor::kAppUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::puts("velquor 1.1.0");
        return 0;
    }
    velquor::CVelquorApp app(argc, argv);
    return app.Run(options);
}
