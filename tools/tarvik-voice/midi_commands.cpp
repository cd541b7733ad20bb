// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-voice ports, send, get, get-bank, send-bank and store: the editor's own
// transport, with the user told by lines on standard error instead of dialogs.
#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <iostream>
#include <thread>

#include <unistd.h>

#include "files/filewrite.h"
#include "library/fileio.h"
#include "midi/bankwrite.h"
#include "midi/fetch.h"
#include "midi/midiport.h"
#include "midi/syprotocol.h"
#include "settings/settings.h"
#include "tools/tarvik-voice/commands.h"
#include "voice/bank.h"
#include "voice/bankdiff.h"
#include "voice/dumpcodec.h"

namespace {

class ToolEvents : public TMIDIPortEvents {
public:
    void openError(const std::string& text) override { lastError = text; }
    // Part of the one line the failing command prints.
    void sendError(const std::string& text) override { lastError = text; }

    std::string lastError;
};

// The event loop's application object, for the fetch object's timer.
struct ToolApplication {
    int argc = 1;
    char name[13] = "tarvik-voice";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
};

struct MidiOptions {
    TSettings settings;   // the settings file's, with the options on top
    std::string file;
    std::vector<std::string> more;   // send: the files after the first, in order
};

bool number(const std::string& text, long low, long high, int32_t& out)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < low || v > high)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

// Settings from "TARVIK.INI" in the working directory (or the defaults), then the
// options on top. False with a message on bad words.
bool readOptions(const Args& args, bool wantIn, bool several, MidiOptions& o, std::string& error)
{
    TSettings& settings = o.settings;
    settings = TSettings(settingsFileName);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--out" && hasValue) {
            if (!number(args[++i], 0, 1000000, settings.outDevice)) {
                error = "--out wants a device number as `tarvik-voice ports` lists it";
                return false;
            }
        } else if (a == "--in" && wantIn && hasValue) {
            if (!number(args[++i], 0, 1000000, settings.inDevice)) {
                error = "--in wants a device number as `tarvik-voice ports` lists it";
                return false;
            }
        } else if (a == "--channel" && hasValue) {
            if (!number(args[++i], 0, 15, settings.midiChannel)) {
                error = "--channel wants a channel number from 0 to 15 (0 is MIDI channel 1)";
                return false;
            }
        } else if (a.rfind("--", 0) != 0 && o.file.empty()) {
            o.file = a;
        } else if (a.rfind("--", 0) != 0 && several) {
            o.more.push_back(a);
        } else {
            error = "unknown or incomplete option: " + a;
            return false;
        }
    }
    if (o.file.empty()) {
        error = "a file name is missing";
        return false;
    }
    return true;
}

// The transport and the synthesiser protocol on the options' channel, telling events.
struct ToolMidi {
    explicit ToolMidi(const TSettings& settings)
    {
        port.events = &events;
        protocol.setChannel(settings.midiChannel);
    }
    ToolEvents events;
    TMIDIPort port;
    TSYProtocol protocol{port};   // goes before the port
};

// The output port of the settings; false with the reason in error.
bool openOutputPort(ToolMidi& midi, const TSettings& settings, std::string& error)
{
    if (midi.port.openOutput(settings.outDevice))
        return true;
    error =
        "cannot open MIDI output device " + std::to_string(settings.outDevice) + ": " + midi.events.lastError;
    return false;
}

// Both ports from the settings, input first; false with the reason in error.
bool openBothPorts(ToolMidi& midi, const TSettings& settings, std::string& error)
{
    if (!midi.port.openInput(settings.inDevice)) {
        error = "cannot open MIDI input device " + std::to_string(settings.inDevice) + ": " +
                midi.events.lastError;
        return false;
    }
    return openOutputPort(midi, settings, error);
}

// One fetch from the synthesiser on the options' ports, the bank or the edit voice,
// run to its end in an event loop of its own (the tool has no other); hook connects the
// command's handlers to the fetch object's signals first. The ports are closed by the
// time it returns. False with the reason in error when a port did not open or the
// fetch did not start.
template <class Hook> bool fetchFromSynth(const TSettings& settings, bool bank, Hook hook, std::string& error)
{
    ToolMidi midi(settings);
    if (!openBothPorts(midi, settings, error))
        return false;
    const ToolApplication application;
    TMIDIFetch fetch(midi.protocol);
    hook(fetch);
    QEventLoop loop;
    QObject::connect(&fetch, &TMIDIFetch::finished, &loop, &QEventLoop::quit);
    if (!(bank ? fetch.startBank() : fetch.startVoice())) {
        error = std::string(bank ? "the bank request" : "the dump request") +
                " could not be sent to MIDI output device " + std::to_string(settings.outDevice);
        return false;
    }
    loop.exec();
    midi.port.closePorts();
    return true;
}

// The question before a slot's voice is replaced: asked only of someone at a terminal
// (a script that names the slot has decided).
bool mayReplace(int slot, const std::string& current, const std::string& replacement)
{
    std::fprintf(stderr, "%s holds '%s' now; it is to hold '%s'.\n", slotText(slot).c_str(), current.c_str(),
                 replacement.c_str());
    if (!isatty(STDIN_FILENO))
        return true;
    std::fputs("Replace it? [y/N] ", stderr);
    std::fflush(stderr);
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

// A verified bank write (a store, or a whole bank) on the options' ports, run to its
// end in an event loop of its own; start begins it. Its stages and blocks are told on
// standard error, and its report last. 0 only when the synthesiser holds what was sent.
template <class Start> int runBankWrite(const TSettings& settings, Start start)
{
    std::string error;
    ToolMidi midi(settings);
    if (!openBothPorts(midi, settings, error))
        return fail(error);
    const ToolApplication application;
    TMIDIFetch fetch(midi.protocol);
    TBankWrite write(midi.protocol, fetch);
    TBankWrite::Result result;
    QEventLoop loop;
    QObject::connect(&write, &TBankWrite::stageChanged, [&](TBankWrite::Stage stage) {
        if (stage != TBankWrite::Stage::confirming && stage != TBankWrite::Stage::sending)
            std::fprintf(stderr, "%s\n", TBankWrite::stageText(stage).c_str());
    });
    QObject::connect(&write, &TBankWrite::progress, [&](int done, int total) {
        if (write.stage() == TBankWrite::Stage::sending && done > 0)
            std::fprintf(stderr, "block %d of %d sent\n", done, total);
    });
    QObject::connect(&write, &TBankWrite::confirmReplace,
                     [&](int slot, const std::string& current, const std::string& replacement) {
                         if (mayReplace(slot, current, replacement))
                             write.proceed();
                         else
                             write.cancel();
                     });
    QObject::connect(&write, &TBankWrite::finished, [&](const TBankWrite::Result& r) {
        result = r;
        loop.quit();
    });
    if (!start(write))
        return fail("the bank request could not be sent to MIDI output device " +
                    std::to_string(settings.outDevice));
    loop.exec();
    midi.port.closePorts();
    if (result.kind != TBankWrite::Result::Kind::kept)
        return fail(result.text);
    std::fprintf(stderr, "%s\n", result.text.c_str());
    return 0;
}

// Takes an option without a value out of the words; true when it was there.
bool takeFlag(Args& args, const std::string& flag)
{
    const auto it = std::find(args.begin(), args.end(), flag);
    if (it == args.end())
        return false;
    args.erase(it);
    return true;
}

}   // namespace

int cmdPorts(const Args& args)
{
    if (!args.empty())
        return fail("usage: tarvik-voice ports");
    TMIDIPort port;
    for (int n = 0; n < port.inCount; ++n)
        std::printf("in\t%d\t%s\n", n, port.inDeviceName(n).c_str());
    for (int n = 0; n < port.outCount; ++n)
        std::printf("out\t%d\t%s\n", n, port.outDeviceName(n).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// The voice of a single-voice file, or an empty result with the message in error.
std::vector<uint8_t> readVoiceFile(const std::string& file, std::string& error)
{
    // Only a regular file is read: a device could be read for ever.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        error = file + (std::filesystem::exists(file, ec) ? ": not a regular file" : ": no such file");
        return {};
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = file + ": cannot open the file";
        return {};
    }
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const long at = findVoiceDump(data.data(), data.size());
    if (at < 0) {
        error = file + ": no voice dump in the file";
        return {};
    }
    return std::vector<uint8_t>(data.begin() + at, data.begin() + at + dumpSize);
}

int cmdSend(const Args& args)
{
    MidiOptions o;
    std::string error;
    if (!readOptions(args, false, true, o, error))
        return fail("send: " + error);
    // Every file is read before anything is sent: a bad one sends none.
    std::vector<std::string> files = {o.file};
    files.insert(files.end(), o.more.begin(), o.more.end());
    std::vector<std::vector<uint8_t>> dumps;
    for (const std::string& file : files) {
        dumps.push_back(readVoiceFile(file, error));
        if (dumps.back().empty())
            return fail(error);
    }

    const TSettings& settings = o.settings;
    ToolMidi midi(settings);
    if (!openOutputPort(midi, settings, error))
        return fail(error);
    for (size_t i = 0; i < dumps.size(); ++i) {
        // Exactly as the editor sends its voice record: decoded, encoded afresh, channel
        // in. Each dump is out before the next is queued, so that none replaces another,
        // and the command returns only once the last one is out.
        Voice v;
        resetVoice(v);
        decodeVoice(dumps[i].data(), v);
        if (!midi.protocol.sendVoice(v) || !midi.port.flush(5000))
            return fail(files[i] + ": the voice could not be sent to MIDI output device " +
                        std::to_string(settings.outDevice) +
                        (midi.events.lastError.empty() ? std::string() : " (" + midi.events.lastError + ")"));
    }
    return 0;
}

int cmdGet(const Args& args)
{
    MidiOptions o;
    std::string error;
    if (!readOptions(args, true, false, o, error))
        return fail("get: " + error);
    if (outputRefused(o.file, libraryFileName))
        return 1;

    Voice voice;
    resetVoice(voice);
    bool received = false;
    const auto hook = [&](TMIDIFetch& fetch) {
        QObject::connect(&fetch, &TMIDIFetch::voiceReceived, [&](const std::vector<uint8_t>& dump) {
            decodeVoice(dump.data(), voice);
            std::fputs("MIDI dump received\n", stderr);
            received = true;
        });
        QObject::connect(&fetch, &TMIDIFetch::noAnswer, [] { std::fputs("No data received\n", stderr); });
    };
    if (!fetchFromSynth(o.settings, false, hook, error))
        return fail(error);
    if (!received)
        return 1;   // "No data received" is on standard error already

    // A single-voice file as the editor saves one: encoded afresh, byte 2 = 0x00.
    // Through a new file renamed over any old one: a full disk leaves the old file whole.
    const VoiceDump dump = encodeVoice(voice);
    TSafeFile out;
    if (!out.open(o.file) || !out.write(dump.data(), dumpSize) || !out.commit())
        return fail(out.error);
    return 0;
}

int cmdGetBank(const Args& args)
{
    MidiOptions o;
    std::string error;
    if (!readOptions(args, true, false, o, error))
        return fail("get-bank: " + error);
    if (outputRefused(o.file, libraryFileName))
        return 1;

    std::vector<uint8_t> bank;
    std::string failure;
    const auto hook = [&](TMIDIFetch& fetch) {
        QObject::connect(&fetch, &TMIDIFetch::bankReceived,
                         [&](const std::vector<uint8_t>& message) { bank = message; });
        QObject::connect(&fetch, &TMIDIFetch::tooLong,
                         [&] { failure = "the answer is longer than any bank; nothing was saved"; });
        QObject::connect(&fetch, &TMIDIFetch::noAnswer,
                         [&] { failure = "no bank received: the synthesiser did not answer"; });
        QObject::connect(&fetch, &TMIDIFetch::stalled, [&](qulonglong received) {
            failure =
                "the bank stopped coming after " + std::to_string(received) + " bytes; nothing was saved";
        });
    };
    if (!fetchFromSynth(o.settings, true, hook, error))
        return fail(error);
    if (!failure.empty())
        return fail(failure);

    // A bank that lost bytes on the way is no backup: it is not saved as one.
    const std::string fault = checkBankDump(bank.data(), bank.size());
    if (!fault.empty())
        return fail("the bank arrived damaged (" + fault + "); nothing was saved, try again");

    // As received, through a new file renamed over any old one.
    TSafeFile out;
    if (!out.open(o.file) || !out.write(bank.data(), bank.size()) || !out.commit())
        return fail(out.error + "; the bank was not saved");
    std::fprintf(stderr, "bank received, %zu bytes\n", bank.size());
    return 0;
}

int cmdSendBank(const Args& words)
{
    Args args = words;
    const bool verify = !takeFlag(args, "--no-verify");
    MidiOptions o;
    std::string error;
    if (!readOptions(args, verify, false, o, error))
        return fail("send-bank: " + error);
    // The header's channel stays as the file has it unless the option says otherwise.
    const bool channelGiven = std::find(args.begin(), args.end(), "--channel") != args.end();

    // The whole file is checked before anything is sent: the synthesiser writes a bank
    // into its memory as it arrives, so a fault found half-way would be too late.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(o.file, ec))
        return fail(o.file +
                    (std::filesystem::exists(o.file, ec) ? ": not a regular file" : ": no such file"));
    const auto size = std::filesystem::file_size(o.file, ec);
    if (ec || size > 16 * bankExpectedSize)
        return fail(o.file + ": not a bank dump; nothing was sent");
    std::ifstream in(o.file, std::ios::binary);
    std::vector<uint8_t> bank((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail())
        return fail(o.file + ": cannot read the file");
    const std::string fault = checkBankDump(bank.data(), bank.size());
    if (!fault.empty())
        return fail(o.file + ": " + fault + "; nothing was sent");
    if (channelGiven)
        bank[dumpChannelOffset] = channelBits(o.settings.midiChannel);

    const TSettings& settings = o.settings;
    // The bank read first and read back after: the send is reported done only when the
    // synthesiser kept it.
    if (verify)
        return runBankWrite(settings, [&](TBankWrite& write) { return write.startSend(bank); });
    ToolMidi midi(settings);
    if (!openOutputPort(midi, settings, error))
        return fail(error);
    if (!midi.protocol.startBankSend(bank))
        return fail("the bank could not be sent to MIDI output device " + std::to_string(settings.outDevice));

    // A block takes well under a second; one that takes far longer means the port
    // stopped taking anything.
    int shown = 0;
    auto lastChange = std::chrono::steady_clock::now();
    for (;;) {
        const TSYProtocol::BankSendProgress p = midi.protocol.bankSendProgress();
        const auto now = std::chrono::steady_clock::now();
        if (p.blocksSent > shown) {
            for (; shown < p.blocksSent; ++shown)
                std::fprintf(stderr, "block %d of %d sent\n", shown + 1, p.blocks);
            std::fflush(stderr);
            lastChange = now;
        }
        if (p.done && !p.failed && !p.cancelled)
            break;
        if (p.done)
            return fail("the bank stopped after " + std::to_string(p.blocksSent) + " of " +
                        std::to_string(p.blocks) + " blocks: the output port took no more");
        if (now - lastChange > std::chrono::seconds(10)) {
            midi.protocol.cancelBankSend();
            return fail("the bank stopped after " + std::to_string(p.blocksSent) + " of " +
                        std::to_string(p.blocks) + " blocks: the output port took no more");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::fprintf(stderr, "bank sent, %zu bytes (not read back: whether the synthesiser kept it is not proven)\n",
                 bank.size());
    return 0;
}

int cmdStore(const Args& args)
{
    MidiOptions o;
    std::string error;
    if (!readOptions(args, true, true, o, error))
        return fail("store: " + error);
    int slot = -1;
    if (o.more.size() != 1)
        return fail(usageOf("store"));
    if (!parseSlotText(o.more[0], slot))
        return fail("store: '" + o.more[0] + "' is no slot of the synthesiser's memory (I01 to I64)");
    // One well-formed voice, nothing less and nothing more: the slot gets exactly it.
    std::vector<uint8_t> data;
    if (!readFile(o.file, data, error))
        return fail(error);
    const long at = findVoiceDump(data.data(), data.size());
    if (at < 0)
        return fail(o.file + ": no voice dump in the file; nothing was sent");
    const char* problem = checkVoiceDump(data.data() + at);
    if (*problem)
        return fail(o.file + ": " + problem + "; nothing was sent");
    const size_t after = static_cast<size_t>(at) + dumpSize;
    if (findVoiceDump(data.data() + after, data.size() - after) >= 0)
        return fail(o.file + ": more than one voice in the file; nothing was sent");
    VoiceDump dump;
    std::copy(data.begin() + at, data.begin() + static_cast<long>(after), dump.begin());
    return runBankWrite(o.settings, [&](TBankWrite& write) { return write.startStore(dump, slot); });
}
