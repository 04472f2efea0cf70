#include <cwchar>

#include "cli/cli.h"
#include "platform/text_win.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(corvella::platform::FromWide(argv[i], std::wcslen(argv[i])));
    corvella::StdConsole console;
    return corvella::RunCli(args, console);
}
