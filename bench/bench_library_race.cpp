// SPDX-License-Identifier: GPL-3.0-or-later
// Two tarvik-voice processes writing one library (or one bank file) at once, again and
// again: how many tries went wrong and how many records were lost. Run with the tool to measure
// (default: the one built beside this benchmark) and the number of tries.
//   bench_library_race [TARVIK-VOICE] [TRIES] [VOICES]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "bench/library_race.h"

int main(int argc, char** argv)
{
    const std::string tool = argc > 1 ? argv[1] : TARVIK_VOICE;
    const int tries = argc > 2 ? std::atoi(argv[2]) : 20;
    const int voices = argc > 3 ? std::atoi(argv[3]) : 20000;
    struct Race {
        const char* name;
        std::function<race::Outcome(const std::string&, int)> run;
    };
    const Race races[] = {
        // The second program starts at a different moment of the first one's work
        // in each try.
        {"two imports", [&](const std::string& d, int) { return race::twoImports(tool, d, 0, voices); }},
        {"import + delete",
         [&](const std::string& d, int t) {
             return race::importAndDelete(tool, d, voices, voices, 400 + t % 6 * 100);
         }},
        {"rename + delete",
         [&](const std::string& d, int t) { return race::renameAndDelete(tool, d, voices, t % 10 * 10); }},
        {"two deletes", [&](const std::string& d, int) { return race::twoDeletes(tool, d, voices); }},
        // Bank files: lost counts multi names (two bank sets) or library voices (bank
        // set + library bank) missing at the end.
        {"two bank sets", [&](const std::string& d, int) { return race::twoBankSets(tool, d); }},
        {"bank set + bank",
         [&](const std::string& d, int t) { return race::bankSetAndLibraryBank(tool, d, t % 5 * 2); }},
    };
    std::printf("%s, %d tries, %d voices\n", tool.c_str(), tries, voices);
    std::printf("%-16s %6s %8s %10s %10s\n", "race", "tries", "wrong", "lost", "most lost");
    for (const Race& r : races) {
        int wrong = 0;
        long long lost = 0, most = 0;
        for (int t = 0; t < tries; ++t) {
            std::string pattern = (std::filesystem::temp_directory_path() / "tarvik-race-XXXXXX").string();
            if (!mkdtemp(pattern.data()))
                return 1;
            const race::Outcome o = r.run(pattern, t);
            std::filesystem::remove_all(pattern);
            wrong += o.sound() ? 0 : 1;
            lost += o.lost();
            most = std::max<long long>(most, o.lost());
        }
        std::printf("%-16s %6d %8d %10lld %10lld\n", r.name, tries, wrong, lost, most);
        std::fflush(stdout);
    }
    return 0;
}
