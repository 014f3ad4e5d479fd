// The program's own records, filled by start-up and window creation.
#include "common/program.h"

HINSTANCE appInstance = nullptr;
WCHAR appFolder[MAX_PATH];
HWND mainWindow = nullptr;

const WCHAR mainClassName[] = u"ZURVCLASS_ORVEN";
const WCHAR mainWindowTitle[] = u"ZURV: ORVEN\u2122";
