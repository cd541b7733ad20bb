// tarvik-voice: the editor's command-line companion. Each command takes the words
// after its own name and returns the exit status (0 or 1).
#pragma once

#include <string>
#include <vector>

using Args = std::vector<std::string>;

int cmdShow(const Args& args);
int cmdEncode(const Args& args);
int cmdCheck(const Args& args);
int cmdPorts(const Args& args);
int cmdSend(const Args& args);
int cmdGet(const Args& args);
int cmdGetBank(const Args& args);
int cmdSendBank(const Args& args);
int cmdLibrary(const Args& args);

// A one-line message on standard error; returns 1 for `return fail(...)`.
int fail(const std::string& message);
