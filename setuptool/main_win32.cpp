// Tessary for Windows: the same start as on Linux, its windows on the dialog manager. Options as
// there (--reply-port=N, --broadcast=ADDR[:PORT]).

#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/win32/win32_dialog_host.h"
#include "setuptool/program.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
    arguments.insert(arguments.begin(), "tessary");
    return setuptool::RunTessary(arguments, platform::RunWin32Window);
}
