// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <cstring>

#include "tarvik_version.h"
#include "tools/tarvik-voice/commands.h"
#include "voice/explore.h"

namespace {

int showVersion(const Args&);
int showHelp(const Args&);

// Every command, in the order the usage lists them. A row without arguments (nullptr)
// is an alias the usage leaves out.
const Command commands[] = {
    {"show", "", "FILE.SYX [--model sy22|sy35]",
     "print every field of the file's voice (a TG33\nvoice converted)", cmdShow},
    {"encode", "", "< FIELDS > OUT.SYX", "build a dump from path=value lines", cmdEncode},
    {"check", "", "FILE.SYX", "tell whether the file holds a well-formed voice dump", cmdCheck},
    {"convert", "", "IN.SYX OUT.SYX --to sy|tg33 [--model sy22|sy35]",
     "TG33 single dumps and banks into SY ones, or back;\n"
     "what each voice loses on standard error",
     cmdConvert},
    {"ports", "", "", "list the MIDI devices", cmdPorts},
    {"send", "", "FILE.SYX [FILE.SYX ...] [--out N] [--channel C]", "", cmdSend},
    {"get", "", "OUT.SYX [--in N] [--out N] [--channel C]", "", cmdGet},
    {"get-bank", "", "OUT.SYX [--in N] [--out N] [--channel C]",
     "save the synthesiser's 64 voices as it sends them", cmdGetBank},
    {"send-bank", "", "BANK.SYX [--in N] [--out N] [--channel C] [--no-verify]",
     "check a bank file whole, then replace the\n"
     "synthesiser's 64 voices and 16 multis with it\n"
     "and read it back to prove it kept them",
     cmdSendBank},
    {"store", "", "FILE.SYX I17 [--in N] [--out N] [--channel C]",
     "put the voice in a slot of the synthesiser's\n"
     "memory, the rest of its bank kept, and prove it",
     cmdStore},
    {"diff", "", "A B [--library FILE]", "the fields of two voices (FILE.SYX or lib:N) or\n"
                       "the slots and multi fields of two banks that differ",
     cmdDiff},
    {"library", "list", "[FILE]", "", libraryList},
    {"library", "add", "FILE.SYX [--mask N] [--library FILE]", "", libraryAdd},
    {"library", "get", "N OUT.SYX [--library FILE]", "", libraryGet},
    {"library", "import", "FILE... [--mask N] [--keep-duplicates] [--model sy22|sy35] [--library FILE]",
     "add every voice in .SYX, bank and .mid files (TG33\nones converted)", libraryImport},
    {"library", "export", "OUT.SYX [--mask N] [--library FILE]",
     "the voices holding every category of N, as one .SYX", libraryExport},
    {"library", "rename", "N NAME [--library FILE]", "", libraryRename},
    {"library", "delete", "N... [--library FILE]", "", libraryDelete},
    {"library", "categories", "N MASK [--library FILE]", "", libraryCategories},
    {"library", "bank", "OUT.SYX N1 ... N64 --multis BACKUP.SYX | --initial-multis [--library FILE]",
     "a bank of 64 entries in slot order I01..I64, with the\n"
     "multis of a bank the synthesiser sent, or initial ones",
     libraryBank},
    {"bank", "show", "BANK.SYX", "print the bank's voice names and every multi field", bankShow},
    {"bank", "set", "BANK.SYX < LINES", "rewrite those multi fields in the bank file", bankSet},
    {"library", "check", "[--clean] [FILE]",
     "name each damaged record, a lost step and left-over temporary files\n--clean removes those no "
     "program has open",
     libraryCheck},
    {"blend", "", "A.SYX B.SYX --at T [--lock GROUP]...", "a voice T (0..1) of the way from A to B",
     cmdBlend},
    {"morph", "", "A.SYX B.SYX [C.SYX [D.SYX]] --x X --y Y [--lock GROUP]...",
     "the voice at (X, Y) of a square with A, B, C, D\n"
     "at (0,0), (1,0), (0,1), (1,1)",
     cmdMorph},
    {"nudge", "", "A.SYX TARGET.SYX --by P [--lock GROUP]... [--unlock tuning]",
     "A moved P (-1..1) toward TARGET", cmdNudge},
    {"breed", "", "PARENT.SYX... --seed S --strength P --into DIR [--lock GROUP]... [--unlock tuning]",
     "16 candidates bred from 1 to 3 favourites", cmdBreed},
    {"--version", "", "", "show the version", showVersion},
    {"--help", "", nullptr, "", showHelp},
    {"-h", "", nullptr, "", showHelp},
    {"help", "", nullptr, "", showHelp},
};

// What the usage of a command of two words names after its sub-commands.
struct Group {
    const char* name;
    const char* rest;
};
const Group groups[] = {{"library", "..."}, {"bank", "BANK.SYX"}};

// The help text of each row starts in this column, below the row when its words
// reach it.
constexpr size_t helpColumn = 33;

std::string words(const Command& c)
{
    std::string text = c.name;
    if (*c.sub)
        text += std::string(" ") + c.sub;
    if (c.arguments && *c.arguments)
        text += std::string(" ") + c.arguments;
    return text;
}

const std::string& usage()
{
    static const std::string text = [] {
        std::string t = "usage: tarvik-voice COMMAND ...\n";
        for (const Command& c : commands) {
            if (!c.arguments)
                continue;
            std::string line = "  " + words(c);
            const char* help = c.help;
            while (*help) {
                const char* end = std::strchr(help, '\n');
                const size_t length = end ? static_cast<size_t>(end - help) : std::strlen(help);
                if (line.size() >= helpColumn) {
                    t += line + "\n";
                    line.clear();
                }
                line.resize(helpColumn, ' ');
                line.append(help, length);
                help += length + (end ? 1 : 0);
            }
            t += line + "\n";
        }
        return t +
               "Devices, channel and model default to TARVIK.INI in the working directory; channels\n"
               "count from 0 as in that file (0 = MIDI channel 1).\n"
               "blend, morph and nudge write the dump to standard output. GROUP is one of\n" +
               fieldGroupNames() + ";\nbreed and nudge lock tuning unless --unlock tuning.\n";
    }();
    return text;
}

int showVersion(const Args&)
{
    std::printf("tarvik-voice %s\n", TARVIK_VERSION);
    return 0;
}

int showHelp(const Args&)
{
    std::fputs(usage().c_str(), stdout);
    return 0;
}

// A command of two words: the sub-command's row, or the command's usage when it is
// missing or unknown.
int runSubCommand(const std::string& name, const Args& args)
{
    std::string subs, listed;
    std::vector<const Command*> rows;
    for (const Command& c : commands)
        if (name == c.name)
            rows.push_back(&c);
    for (size_t i = 0; i < rows.size(); ++i) {
        subs += (i ? "|" : "") + std::string(rows[i]->sub);
        listed += (i == 0 ? "" : i + 1 == rows.size() ? " or " : ", ") + std::string(rows[i]->sub);
    }
    if (args.empty()) {
        const char* rest = "...";
        for (const Group& g : groups)
            if (name == g.name)
                rest = g.rest;
        return fail("usage: tarvik-voice " + name + " " + subs + " " + rest);
    }
    for (const Command* c : rows)
        if (args[0] == c->sub)
            return c->run(Args(args.begin() + 1, args.end()));
    return fail(name + " " + args[0] + ": unknown command (" + listed + ")");
}

}   // namespace

std::string usageOf(const std::string& name, const std::string& sub)
{
    for (const Command& c : commands)
        if (name == c.name && sub == c.sub)
            return "usage: tarvik-voice " + words(c);
    return "usage: tarvik-voice " + name + (sub.empty() ? "" : " " + sub);
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "tarvik-voice: %s\n", message.c_str());
    return 1;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(usage().c_str(), stderr);
        return 1;
    }
    const std::string name = argv[1];
    const Args args(argv + 2, argv + argc);
    bool hasSubCommands = false;
    for (const Command& c : commands) {
        if (name != c.name)
            continue;
        if (!*c.sub)
            return c.run(args);
        hasSubCommands = true;
    }
    if (hasSubCommands)
        return runSubCommand(name, args);
    std::fputs(usage().c_str(), stderr);
    return 1;
}
