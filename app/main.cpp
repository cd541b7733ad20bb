// SPDX-License-Identifier: GPL-3.0-or-later
// Started from a terminal the editor works in the current directory, as tarvik-voice
// does; started from the desktop's menu (--desktop) it works in its own data folder.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/startup.h"
#include "tarvik_version.h"

static const char usage[] =
    "usage: tarvik [--desktop]\n"
    "Voice editor and librarian for the Yamaha SY-22 and SY-35.\n"
    "Its settings (TARVIK.INI) and library (SOUNDS.SYL) live in the current directory;\n"
    "  --desktop    work in $XDG_DATA_HOME/tarvik (~/.local/share/tarvik) instead,\n"
    "               made on first start: the desktop's menu entry starts it so\n"
    "  --help       show this text\n"
    "  --version    show the version\n";

int main(int argc, char** argv)
{
    // Answered before the toolkit starts, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tarvik %s\n", TARVIK_VERSION);
            return 0;
        }
    }
    TApplication app(argc, argv);
    // The toolkit took its own options; whatever is left is ours.
    bool desktop = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--desktop") == 0) {
            desktop = true;
        } else {
            std::fprintf(stderr, "tarvik: unknown option '%s'\n%s", argv[i], usage);
            return 2;
        }
    }
    if (desktop) {
        std::string folder, error;
        if (!enterDataFolder(folder, error))
            std::fprintf(stderr, "tarvik: %s; working in the current directory\n", error.c_str());
    }
    return runTarvik();
}
