// The Windows headers, less the macros that rename the seams' methods
// (MessageBox, GetDriveType): this code calls the A functions by name.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#undef MessageBox
#undef GetDriveType
