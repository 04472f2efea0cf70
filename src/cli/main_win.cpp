#include <cwchar>

#include "cli/cli.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]), std::wcslen(argv[i]));
    corvella::StdConsole console;
    return corvella::RunCli(args, console);
}
