// Identifiers of the program's resources, shared by tarnvik.rc and the Win32 toolkit.
// Plain #defines: the resource compiler reads this file too.
#pragma once

#define IDI_TARNVIK 1

// The caption-button pictures, as the toolkit loads them into the picture store.
#define IDB_CLOSE_NORMAL 101
#define IDB_MINIMISE_NORMAL 102
#define IDB_MINIMISE_HOT 103
#define IDB_CLOSE_HOT 104
