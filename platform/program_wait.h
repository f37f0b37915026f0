// Waiting for a machine program and for the machine programs it leaves running, as a shell
// does for the program it starts: a program that hands over to another one (the setup's first
// stage) is only done when that one is.
#pragma once

namespace plenova::platform {

class Machine;

// Before starting the program: orphans among this process's descendants become its children,
// so that they can be waited for, and a terminal's Ctrl-C or Ctrl-\ leaves this process waiting
// (as system() does: the program, which gets the signal too, decides).
void PrepareToWaitForDescendants();

// Reaps the ended children and waits on while one of the rest runs a program of the machine:
// its executable, or the script an interpreter runs, lies on one of the machine's own drives
// (not Z:). Desktop programs that a machine program starts (a file manager showing a folder)
// are not waited for.
void WaitForMachineChildren(const Machine& machine);

// True when the standard input is a terminal that a question can be asked on.
bool StandardInputIsTerminal();

}  // namespace plenova::platform
