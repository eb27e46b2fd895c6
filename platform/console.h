#pragma once
// What the command-line programs need of the console they run in.

#include <string>
#include <vector>

namespace platform {

// The program's arguments after its name, as UTF-8 (on Windows from the wide command line, so a
// Chinese text survives whatever the PC's ANSI code page is).
std::vector<std::string> ProgramArguments(int argc, char** argv);
// Whether standard error is a terminal (a console on Windows).
bool StandardErrorIsTerminal();
// Makes a console show the program's UTF-8 output as such, until the program ends (Windows;
// elsewhere the terminal already does).
void UseUtf8Console();
// Before a program ends on a failure it printed: when its console window is its own (Windows, a
// program started from the Start menu or Explorer, not from a prompt), asks for Enter before the
// window goes, so the line can be read. Returns at once elsewhere, and when no one can answer.
void HoldOwnConsoleWindow();
// Makes standard input read bytes as they are (Windows reads it as text by default: CR LF becomes
// LF and 1A ends it); elsewhere it already does.
void BinaryStandardInput();

}  // namespace platform
