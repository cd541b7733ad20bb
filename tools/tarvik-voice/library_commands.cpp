#include "tools/tarvik-voice/commands.h"

int cmdLibrary(const Args&) { return fail("library: not built yet"); }
