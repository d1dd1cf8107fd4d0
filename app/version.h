// The program's version. norvane.exe's version resource, the setup program and the zip of
// the plain files all take it from here; the string is written the way tessaly.ocx writes
// its own: major, two digits of minor, four of revision.
#pragma once

#define QUELLIX_VERSION_MAJOR 1
#define QUELLIX_VERSION_MINOR 0
#define QUELLIX_VERSION_REVISION 0
#define QUELLIX_VERSION_STRING "1.00.0000"
