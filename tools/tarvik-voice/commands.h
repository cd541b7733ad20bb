// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-voice: the editor's command-line companion. Each command takes the words
// after its own name and returns the exit status (0 or 1).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Args = std::vector<std::string>;
struct Bank;

int cmdShow(const Args& args);
int cmdEncode(const Args& args);
int cmdCheck(const Args& args);
int cmdPorts(const Args& args);
int cmdSend(const Args& args);
int cmdGet(const Args& args);
int cmdGetBank(const Args& args);
int cmdSendBank(const Args& args);
int cmdLibrary(const Args& args);
int cmdBank(const Args& args);

// Reads a whole file; false (with a message naming it) when it cannot be read. Only
// regular files: a folder or a device is refused, never read.
bool readFile(const std::string& path, std::vector<uint8_t>& data, std::string& error);

// Reads a bank file strictly (every check of checkBankDump); false with the message,
// naming the file, when it is no good bank.
bool readBankFile(const std::string& path, std::vector<uint8_t>& data, Bank& bank, std::string& error);

// A one-line message on standard error; returns 1 for `return fail(...)`.
int fail(const std::string& message);
