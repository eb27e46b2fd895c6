// Brindel for Windows: the same start as on Linux, its window on the dialog manager.
// FWIMAGE_80.bin and gb2312 are read from the working directory. Options as there.

#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/win32/win32_dialog_host.h"
#include "updater/program.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
    arguments.insert(arguments.begin(), "brindel");
    return updater::RunBrindel(arguments, platform::RunWin32Window);
}
