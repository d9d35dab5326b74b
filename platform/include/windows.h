// The stand-in's umbrella header, as <windows.h> on Windows.
#pragma once

#include <windef.h>
#include <winerror.h>
#include <winbase.h>
#include <winnls.h>
#include <wingdi.h>
#include <winuser.h>
#include <wcs16.h>
