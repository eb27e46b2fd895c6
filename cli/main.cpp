// tessary-cli: Tessary's printer commands and Brindel's firmware download for scripts.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "link/usb_printer_link.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    cli::CliEnvironment environment;
    environment.usb = [] { return printerlink::MakeLibusbBackend(); };
    environment.stderrIsTerminal = ::isatty(STDERR_FILENO) == 1;
    environment.in = &std::cin;
    return cli::RunCli(arguments, std::cout, std::cerr, environment);
}
