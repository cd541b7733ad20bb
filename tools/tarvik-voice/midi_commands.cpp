#include "tools/tarvik-voice/commands.h"

int cmdPorts(const Args&) { return fail("ports: not built yet"); }
int cmdSend(const Args&) { return fail("send: not built yet"); }
int cmdGet(const Args&) { return fail("get: not built yet"); }
