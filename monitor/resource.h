// Resource identifiers of tessaly.ocx.
#pragma once

#define IDI_BANNER 101
#define IDB_TOOLBOX 30000
