// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-voice: the editor's command-line companion. Each command takes the words
// after its own name (after both, for a command of two words such as "library list")
// and returns the exit status (0 or 1). main.cpp holds the table of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Args = std::vector<std::string>;
struct Bank;
enum class VoiceModel;

int cmdShow(const Args& args);
int cmdEncode(const Args& args);
int cmdCheck(const Args& args);
int cmdPorts(const Args& args);
int cmdSend(const Args& args);
int cmdGet(const Args& args);
int cmdGetBank(const Args& args);
int cmdSendBank(const Args& args);
int cmdStore(const Args& args);
int cmdDiff(const Args& args);
int libraryList(const Args& args);
int libraryAdd(const Args& args);
int libraryGet(const Args& args);
int libraryImport(const Args& args);
int libraryExport(const Args& args);
int libraryRename(const Args& args);
int libraryDelete(const Args& args);
int libraryCategories(const Args& args);
int libraryBank(const Args& args);
int libraryCheck(const Args& args);
int bankShow(const Args& args);
int bankSet(const Args& args);
int cmdBlend(const Args& args);
int cmdMorph(const Args& args);
int cmdNudge(const Args& args);
int cmdBreed(const Args& args);
int cmdConvert(const Args& args);

// One row of the command table: the command's name, its sub-command ("" for a command
// of one word), the words that follow as the usage shows them, what it does (lines
// separated by '\n', or "") and the handler.
struct Command {
    const char* name;
    const char* sub;
    const char* arguments;
    const char* help;
    int (*run)(const Args& args);
};

// "usage: tarvik-voice NAME [SUB] ARGUMENTS", from the command's row.
std::string usageOf(const std::string& name, const std::string& sub = {});

// Reads a whole file; false (with a message naming it) when it cannot be read. Only
// regular files: a folder or a device is refused, never read.
bool readFile(const std::string& path, std::vector<uint8_t>& data, std::string& error);

// Reads a bank file strictly (every check of checkBankDump); false with the message,
// naming the file, when it is no good bank.
bool readBankFile(const std::string& path, std::vector<uint8_t>& data, Bank& bank, std::string& error);

// Whether target must not be written as a command's output: it is the library (or
// any file that begins with the library header) or one of the files being read. The
// refusal, naming the file, is given. A file not there yet may always be written.
bool outputRefused(const std::string& target, const std::string& library,
                   const std::vector<std::string>& reading = {});
// Takes "--model sy22|sy35" out of args; model is the settings file's without it. False
// with the message when the value is neither.
bool takeModelOption(Args& args, VoiceModel& model, std::string& error);

// A one-line message on standard error; returns 1 for `return fail(...)`.
int fail(const std::string& message);
