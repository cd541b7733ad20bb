// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the fuzz targets' first inputs into FOLDER/<target>/: the reset voice's dump,
// a few random voices' dumps, a library of them, a settings file and the fields as
// `tarvik-voice show` prints them. Made at build time, so no sample file is kept.
#include <filesystem>

#include "library/voiceimport.h"
#include "settings/settings.h"
#include "tests/fuzz/fuzz_support.h"
#include "voice/tg33.h"

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 1;
    }
    const fs::path top = argv[1];
    for (const char* d :
         {"codec", "syx", "library", "settings", "voicelines", "bank", "midi", "bankdump", "explore"})
        fs::create_directories(top / d);
    auto put = [&](const char* dir, const std::string& name, const std::vector<uint8_t>& bytes) {
        if (!writeWhole((top / dir / name).string(), bytes.data(), bytes.size()))
            std::exit(1);
    };

    std::vector<std::vector<uint8_t>> dumps = {encodedDump(resetOne())};
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        Voice v;
        randomVoice(v, seed);
        dumps.push_back(encodedDump(v));
    }
    std::vector<uint8_t> library = {'T', 'O', 'R', 'V', 'A'};
    for (size_t i = 0; i < dumps.size(); ++i) {
        const std::string name = "voice" + std::to_string(i);
        put("codec", name + ".syx", dumps[i]);
        std::vector<uint8_t> file = {0x00, 0xF0, 0x43, 0x20, 0x7E, 0xF7};   // junk and a request first
        file.insert(file.end(), dumps[i].begin(), dumps[i].end());
        put("syx", name + ".syx", i == 0 ? dumps[i] : file);
        const uint32_t mask = 1u << i;
        for (int b = 0; b < 4; ++b)
            library.push_back(static_cast<uint8_t>(mask >> (8 * b)));
        library.insert(library.end(), dumps[i].begin(), dumps[i].end());
        Voice v = resetOne();
        decodeVoice(dumps[i].data(), v);
        const std::string text = formatVoice(v);
        put("voicelines", name + ".txt", std::vector<uint8_t>(text.begin(), text.end()));
    }
    // Exploring: twelve control bytes, then two to four voices.
    for (uint8_t voices = 0; voices < 3; ++voices) {
        std::vector<uint8_t> explore = {voices, 0x80, 0x00, 0x40, 0x00, 0x00, 0x08, 1, 0, 0, 0, 0x60};
        for (size_t i = 0; i < 2u + voices; ++i)
            explore.insert(explore.end(), dumps[i].begin(), dumps[i].end());
        put("explore", "voices" + std::to_string(2 + voices) + ".bin", explore);
    }
    put("library", "empty.syl", {'T', 'O', 'R', 'V', 'A'});
    put("library", "four.syl", library);
    library.resize(library.size() - 100);
    put("library", "cut.syl", library);
    const std::string few = "name=Abcdefgh\nelement[1].carrierAM=1\nlevelVectorSpeed=16\n";
    put("voicelines", "few.txt", std::vector<uint8_t>(few.begin(), few.end()));

    // A bank of the four voices over and over, and one with a damaged block.
    std::vector<VoiceDump> bankVoices;
    for (int i = 0; i < 64; ++i) {
        VoiceDump d;
        std::copy(dumps[static_cast<size_t>(i) % dumps.size()].begin(),
                  dumps[static_cast<size_t>(i) % dumps.size()].end(), d.begin());
        bankVoices.push_back(d);
    }
    std::vector<uint8_t> bank = buildBankDump(bankVoices, 3);
    put("bank", "bank.syx", bank);
    bank[1000] ^= 0x01;
    put("bank", "damaged.syx", bank);
    // Whole banks with multis for the strict reader: a good one, one with a multi of
    // its own, one cut short.
    Bank whole = initialBank();
    for (size_t i = 0; i < whole.voices.size(); ++i)
        whole.voices[i] = writtenDump(dumps[i % dumps.size()].data());
    put("bankdump", "initial.syx", encodeBankDump(initialBank(), 0));
    setMultiName(whole.multis[4], "Fuzzing ");
    whole.multis[4][52] = static_cast<uint8_t>(-16);
    setMultiChecksum(whole.multis[4]);
    std::vector<uint8_t> wholeBank = encodeBankDump(whole, 7);
    put("bankdump", "varied.syx", wholeBank);
    wholeBank.resize(20000);
    put("bankdump", "cut.syx", wholeBank);
    std::string multiLines = formatBank(whole);
    multiLines = multiLines.substr(multiLines.find("multi["));
    put("bankdump", "multis.txt", std::vector<uint8_t>(multiLines.begin(), multiLines.begin() + 3000));

    std::vector<uint8_t> mixed = dumps[1];
    mixed.insert(mixed.end(), {0xF0, 0x43, 0x20, 0x7E, 0xF7});
    mixed.insert(mixed.end(), dumps[2].begin(), dumps[2].end());
    put("bank", "singles.syx", mixed);
    // TG33 voices for the same reader: a bank, and a single dump after an SY one.
    std::vector<TG33Record> tg33;
    for (const VoiceDump& d : bankVoices)
        tg33.push_back(tg33RecordFromDump(d.data()));
    put("bank", "tg33bank.syx", tg33BankDump(tg33));
    std::vector<uint8_t> tg33Mixed = dumps[0];
    const std::vector<uint8_t> tg33Single = tg33SingleDump(tg33[1]);
    tg33Mixed.insert(tg33Mixed.end(), tg33Single.begin(), tg33Single.end());
    put("bank", "tg33single.syx", tg33Mixed);

    // A Standard MIDI File (the fuzz target adds the "MThd"): one track, one SysEx event
    // holding a voice dump, then the end of the track.
    std::vector<uint8_t> track = {0x00, 0xF0, 0x84, 0x4F};   // 591 bytes follow the F0
    track.insert(track.end(), dumps[3].begin() + 1, dumps[3].end());
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> midi = {0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k'};
    for (int b = 3; b >= 0; --b)
        midi.push_back(static_cast<uint8_t>(track.size() >> (8 * b)));
    midi.insert(midi.end(), track.begin(), track.end());
    put("midi", "one-voice.mid", midi);

    TSettings s;
    s.midiChannel = 12;
    s.model = 1;
    s.inDevice = 3;
    s.autoSend = false;
    std::string text = s.text();
    put("settings", "TARVIK.INI", std::vector<uint8_t>(text.begin(), text.end()));
    s.inDeviceName = "virtual-sy22:out";
    s.outDeviceName = "virtual-sy22:in";
    s.lastFolder = "/home/me/sy22 voices";
    text = s.text();
    put("settings", "named.ini", std::vector<uint8_t>(text.begin(), text.end()));
    text = "Model=3\nMIDI channel=99\nIn device=123456\nAuto send=5\n";
    put("settings", "odd.ini", std::vector<uint8_t>(text.begin(), text.end()));
    return 0;
}
