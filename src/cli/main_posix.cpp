#include "cli/cli.h"
#include "platform/text.h"

int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(corvella::FromUtf8(argv[i]));
    corvella::StdConsole console;
    return corvella::RunCli(args, console);
}
