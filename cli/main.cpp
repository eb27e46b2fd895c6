// tessary-cli: Tessary's printer commands and Brindel's firmware download for scripts.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "link/usb_printer_link.h"
#include "platform/console.h"

int main(int argc, char** argv) {
    platform::UseUtf8Console();
    const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
    cli::CliEnvironment environment;
    environment.usb = [] { return printerlink::MakeSystemUsbBackend(); };
    environment.stderrIsTerminal = platform::StandardErrorIsTerminal();
    environment.in = &std::cin;
    return cli::RunCli(arguments, std::cout, std::cerr, environment);
}
