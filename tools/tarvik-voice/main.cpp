// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <cstring>

#include "tarvik_version.h"
#include "tools/tarvik-voice/commands.h"

static const char usage[] =
    "usage: tarvik-voice COMMAND ...\n"
    "  show FILE.SYX                  print every field of the file's voice\n"
    "  encode < FIELDS > OUT.SYX      build a dump from path=value lines\n"
    "  check FILE.SYX                 tell whether the file holds a well-formed voice dump\n"
    "  ports                          list the MIDI devices\n"
    "  send FILE.SYX [FILE.SYX ...] [--out N] [--channel C]\n"
    "  get OUT.SYX [--in N] [--out N] [--channel C]\n"
    "  get-bank OUT.SYX [--in N] [--out N] [--channel C]\n"
    "                                 save the synthesiser's 64 voices as it sends them\n"
    "  send-bank BANK.SYX [--out N] [--channel C]\n"
    "                                 check a bank file whole, then replace the\n"
    "                                 synthesiser's 64 voices and 16 multis with it\n"
    "  library list [FILE]\n"
    "  library add FILE.SYX [--mask N] [--library FILE]\n"
    "  library get N OUT.SYX [--library FILE]\n"
    "  library import FILE... [--mask N] [--keep-duplicates] [--library FILE]\n"
    "                                 add every voice in .SYX, bank and .mid files\n"
    "  library export OUT.SYX [--mask N] [--library FILE]\n"
    "                                 the voices holding every category of N, as one .SYX\n"
    "  library rename N NAME [--library FILE]\n"
    "  library delete N... [--library FILE]\n"
    "  library categories N MASK [--library FILE]\n"
    "  library bank OUT.SYX N1 ... N64 --multis BACKUP.SYX | --initial-multis [--library FILE]\n"
    "                                 a bank of 64 entries in slot order I01..I64, with the\n"
    "                                 multis of a bank the synthesiser sent, or initial ones\n"
    "  bank show BANK.SYX             print the bank's voice names and every multi field\n"
    "  bank set BANK.SYX < LINES      rewrite those multi fields in the bank file\n"
    "  library check [FILE]           name each damaged record and a lost step\n"
    "  --version                      show the version\n"
    "Devices and channel default to TARVIK.INI in the working directory; channels\n"
    "count from 0 as in that file (0 = MIDI channel 1).\n";

int fail(const std::string& message)
{
    std::fprintf(stderr, "tarvik-voice: %s\n", message.c_str());
    return 1;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(usage, stderr);
        return 1;
    }
    const std::string command = argv[1];
    const Args args(argv + 2, argv + argc);
    if (command == "show")
        return cmdShow(args);
    if (command == "encode")
        return cmdEncode(args);
    if (command == "check")
        return cmdCheck(args);
    if (command == "ports")
        return cmdPorts(args);
    if (command == "send")
        return cmdSend(args);
    if (command == "get")
        return cmdGet(args);
    if (command == "get-bank")
        return cmdGetBank(args);
    if (command == "send-bank")
        return cmdSendBank(args);
    if (command == "library")
        return cmdLibrary(args);
    if (command == "bank")
        return cmdBank(args);
    if (command == "--version") {
        std::printf("tarvik-voice %s\n", TARVIK_VERSION);
        return 0;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usage, stdout);
        return 0;
    }
    std::fputs(usage, stderr);
    return 1;
}
