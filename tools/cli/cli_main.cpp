// velquor-cli: the meters from a terminal, on the same link and meter code as the GUI.
#include <string>
#include <vector>

#include "cli_app.h"
#include "cli_platform.h"

namespace velquor::cli {

// One registration function per tools/cli/cmd_NAME.cpp, listed by the build.
#define VELQUOR_CLI_COMMAND(Name) void Register##Name##Command(CliApp& cli);
#include "cli_commands.inc"
#undef VELQUOR_CLI_COMMAND

}  // namespace velquor::cli

int main(int argc, char** argv) {
    using namespace velquor::cli;
    CliApp cli;
#define VELQUOR_CLI_COMMAND(Name) Register##Name##Command(cli);
#include "cli_commands.inc"
#undef VELQUOR_CLI_COMMAND
    std::vector<std::string> args = platform::Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return cli.Run(static_cast<int>(args.size()), pointers.data());
}
