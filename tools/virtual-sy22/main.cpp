// SPDX-License-Identifier: GPL-3.0-or-later
// virtual-sy22: a stand-in for the synthesiser on JACK MIDI, for the tests and for
// trying the editor without hardware. It keeps the last voice dump it received for
// its channel and answers a dump request for its channel with that voice, sending
// at the pace of the MIDI wire.
//
// Its internal memory (64 voices, 16 multis) behaves as the synthesiser's: a bank
// dump for its channel is written into it record by record as it arrives, reading
// 64 voices and 16 multis by their fixed sizes whatever the counts say; a block whose
// checksum fails stops the receive, the blocks before it staying written, and the
// records from that block on are checked as at power-on. With --protect (memory
// protect) a bank dump writes nothing; with --drop-block K it writes every block but
// block K. Each block must begin at least 100 ms after the end of the one before (the
// bytes timed as the MIDI wire would carry them): one that comes sooner is reported on
// standard error and counted. At power-on
// (--power-cycle, or memory loaded from --state) every voice or multi with a bad tag
// or checksum is replaced by the initial one, as the synthesiser does.
//
// A bank request for its channel gets the memory as a bank dump (the voices of
// --bank, else its current voice, in places nothing was written to), sent in pieces
// of a few hundred bytes as an interface hands a long message over, the first piece
// beginning F0 and the last ending F7. Options make it misbehave the way real
// set-ups do.
//
// With --state DIR it leaves what it saw for a test to read:
//   DIR/ready              the full names of its two ports, once they exist
//   DIR/received-NNNN.syx  every System Exclusive message received, in order
//   DIR/voice.syx          its current voice (byte 2 = 0x00)
//   DIR/memory.syx         its internal memory as a bank dump (channel 0), written
//                          after each bank received and loaded at the next start
//   DIR/counts             lines "dumps N", "requests N", "answers N", "other N",
//                          "received N", "notes N" (note on and note off
//                          messages), "bank-requests N", "bank-answers N"
//                          (answers count once they have left the port), "banks N"
//                          (bank dumps received whole), "bank-blocks N" (blocks
//                          written), "bank-stops N" (receives stopped by a bad block
//                          or an early end), "protected N", "short-gaps N" (blocks
//                          that came less than 100 ms after the one before),
//                          "min-gap-us N" (the shortest pause seen, once there is one),
//                          "power-on-resets N" (records replaced at power-on)
//                          "cycles N" (JACK process cycles run; what reached the port by one
//                          cycle is counted once the count shows a later one)
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "library/voiceimport.h"
#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/sysex.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr size_t maxMessage = 64 * 1024;   // a bank dump is 38,306 bytes
constexpr size_t ringSize = 1 << 18;
constexpr double byteMicroseconds = 320.0;   // 10 bits at 31,250 baud
constexpr double blockGapMicroseconds = bankBlockGapMs * 1000.0;
constexpr size_t maxPending = 512;
constexpr size_t bankPiece = 256;     // bytes per JACK event of a bank answer
constexpr size_t cycleBytes = 1024;   // at most this much leaves in one process cycle

struct Options {
    std::string name = "virtual-sy22";
    int channel = 0;
    int answerChannel = -1;   // -1: its own channel
    std::string voiceFile;
    std::string bankFile;
    std::string stateDir;
    bool silent = false;
    bool otherFirst = false;
    bool wirePace = true;
    bool protect = false;
    int dropBlock = 0;   // 1..17: that block of a bank dump is passed over
    bool powerCycle = false;
    long delayMs = 0;
    long lifetimeSeconds = 3600;
};

const char usage[] =
    "usage: virtual-sy22 [--name CLIENT] [--channel C] [--voice FILE.SYX] [--bank FILE.SYX]\n"
    "                    [--state DIR]\n"
    "                    [--silent] [--delay-ms N] [--other-first] [--answer-channel C]\n"
    "                    [--no-wire-pace] [--lifetime SECONDS] [--protect] [--power-cycle]\n"
    "                    [--drop-block K]\n"
    "  Opens the JACK MIDI ports CLIENT:in and CLIENT:out (channel C is 0..15).\n"
    "  --bank takes a bank dump (voices and multis) or a file of single dumps: its\n"
    "  first 64 voices fill the memory, the current voice filling any places left.\n"
    "  --state DIR keeps the memory in DIR/memory.syx and loads it at the next start.\n"
    "  --protect: memory protect on, a bank dump writes nothing.\n"
    "  --drop-block K: a bank dump writes every block but block K (1..17).\n"
    "  --power-cycle: starts with the power-on check of the memory.\n";

// Set by the signal handler, which can reach nothing else.
std::atomic<bool> stopRequested{false};

// What the JACK threads share with the main thread: the client, its ports and the two
// rings between them, and what the process thread counts.
struct Wire {
    jack_client_t* client = nullptr;
    jack_port_t* inPort = nullptr;
    jack_port_t* outPort = nullptr;
    jack_ringbuffer_t* rxRing = nullptr;   // process thread -> main thread
    jack_ringbuffer_t* txRing = nullptr;   // main thread -> process thread
    std::atomic<bool> serverGone{false};
    std::atomic<unsigned long> messagesSent{0};
    std::atomic<unsigned long> processCycles{0};
};

void onSignal(int)
{
    stopRequested.store(true);
}
void onShutdown(void* wire)
{
    static_cast<Wire*>(wire)->serverGone.store(true);
}
void silent(const char*)
{
}

// When bytes came in, in microseconds of the server's clock, two ways: when this
// program's processing of the cycle began, and the cycle's frame time. On a busy
// machine either can be tens of milliseconds off (this program's thread runs late; the
// server's idea of a cycle's time drifts), each in its own way, so a pause between
// bank blocks counts as short only when both say so.
struct Times {
    double wall = 0;
    double frame = 0;
};

// Each event goes to the main thread as it came: [length][wall][frame][bytes].
struct PieceHead {
    uint32_t length;
    uint64_t wall;
    uint64_t frame;
};

int process(jack_nframes_t frames, void* arg)
{
    Wire& w = *static_cast<Wire*>(arg);
    // PipeWire's JACK layer has no buffer for a port while its links are being set up.
    void* in = jack_port_get_buffer(w.inPort, frames);
    const uint32_t count = in != nullptr ? jack_midi_get_event_count(in) : 0;
    const uint64_t now = static_cast<uint64_t>(jack_get_time());
    const jack_nframes_t cycleStart = jack_last_frame_time(w.client);
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) != 0 || event.size == 0)
            continue;
        const PieceHead head{static_cast<uint32_t>(event.size), now,
                             static_cast<uint64_t>(jack_frames_to_time(w.client, cycleStart + event.time))};
        if (jack_ringbuffer_write_space(w.rxRing) < sizeof head + event.size)
            break;   // the main thread has fallen far behind: the rest is lost
        jack_ringbuffer_write(w.rxRing, reinterpret_cast<const char*>(&head), sizeof head);
        jack_ringbuffer_write(w.rxRing, reinterpret_cast<const char*>(event.buffer), event.size);
    }
    void* out = jack_port_get_buffer(w.outPort, frames);
    if (out == nullptr) {
        w.processCycles.fetch_add(1);
        return 0;   // what waits goes out in a later cycle
    }
    jack_midi_clear_buffer(out);
    // Whatever does not fit this cycle waits for the next one; nothing is dropped. At
    // most cycleBytes go out in one cycle (one message whatever its length), as an
    // interface hands bytes over: a main thread that fell behind must not empty its
    // backlog into one cycle, which PipeWire's JACK layer can carry only in part.
    size_t written = 0;
    for (int guard = 0; guard < 64; ++guard) {
        uint32_t length = 0;
        if (jack_ringbuffer_peek(w.txRing, reinterpret_cast<char*>(&length), sizeof length) != sizeof length)
            break;
        if (jack_ringbuffer_read_space(w.txRing) < sizeof length + length)
            break;
        if (written > 0 && written + length > cycleBytes)
            break;
        written += length;
        jack_midi_data_t* target = jack_midi_event_reserve(out, 0, length);
        if (target == nullptr)
            break;
        jack_ringbuffer_read_advance(w.txRing, sizeof length);
        jack_ringbuffer_read(w.txRing, reinterpret_cast<char*>(target), length);
        w.messagesSent.fetch_add(1);
    }
    w.processCycles.fetch_add(1);
    return 0;
}

bool isDump(const Bytes& m)
{
    return isVoiceDump(m.data(), m.size());
}

bool isRequest(const Bytes& m)
{
    return isDumpRequest(m.data(), m.size());
}

// F0 43 0n 7E, two count bytes (never looked at), "PK  2203VM".
bool isBankHead(const uint8_t* m, size_t size)
{
    return size >= sysexHeadSize && hasSysexHead(m, size) && std::memcmp(m + 6, bankHeaderText, 10) == 0;
}

bool isBankRequest(const Bytes& m)
{
    return ::isBankRequest(m.data(), m.size());
}

bool writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out)
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool writeText(const std::string& path, const std::string& text)
{
    return writeFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

bool readNumber(const char* text, long low, long high, long& value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    value = v;
    return true;
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        long v = 0;
        if (a == "--name" && hasValue) {
            o.name = argv[++i];
        } else if (a == "--channel" && hasValue && readNumber(argv[i + 1], 0, 15, v)) {
            o.channel = static_cast<int>(v);
            ++i;
        } else if (a == "--answer-channel" && hasValue && readNumber(argv[i + 1], 0, 15, v)) {
            o.answerChannel = static_cast<int>(v);
            ++i;
        } else if (a == "--voice" && hasValue) {
            o.voiceFile = argv[++i];
        } else if (a == "--bank" && hasValue) {
            o.bankFile = argv[++i];
        } else if (a == "--state" && hasValue) {
            o.stateDir = argv[++i];
        } else if (a == "--delay-ms" && hasValue && readNumber(argv[i + 1], 0, 600000, v)) {
            o.delayMs = v;
            ++i;
        } else if (a == "--lifetime" && hasValue && readNumber(argv[i + 1], 1, 86400, v)) {
            o.lifetimeSeconds = v;
            ++i;
        } else if (a == "--silent") {
            o.silent = true;
        } else if (a == "--other-first") {
            o.otherFirst = true;
        } else if (a == "--no-wire-pace") {
            o.wirePace = false;
        } else if (a == "--protect") {
            o.protect = true;
        } else if (a == "--drop-block" && hasValue && readNumber(argv[i + 1], 1, bankBlockCount, v)) {
            o.dropBlock = static_cast<int>(v);
            ++i;
        } else if (a == "--power-cycle") {
            o.powerCycle = true;
        } else {
            return false;
        }
    }
    return !o.name.empty();
}

class Synth {
public:
    Synth(const Options& o, Wire& wire) : options(o), wire(wire) {}

    bool loadVoice()
    {
        if (options.voiceFile.empty()) {
            Voice v;
            resetVoice(v);
            const VoiceDump d = encodeVoice(v);
            voice.assign(d.begin(), d.end());
            return true;
        }
        std::ifstream in(options.voiceFile, std::ios::binary);
        const Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const long at = findVoiceDump(data.data(), data.size());
        if (at < 0)
            return false;
        voice.assign(data.begin() + at, data.begin() + at + dumpSize);
        voice[dumpChannelOffset] = 0x00;
        return true;
    }

    // The memory at start: DIR/memory.syx of --state if there is one (what the battery
    // kept: a power-on), else --bank; then the power-on check if asked for.
    bool loadMemory()
    {
        memory = initialBank();
        const bool kept = !options.stateDir.empty() && std::ifstream(memoryPath()).good();
        if (kept) {
            std::ifstream in(memoryPath(), std::ios::binary);
            const Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!loadImage(data)) {
                say("memory.syx is no bank dump: the memory starts as the initial one");
                held.fill(true);
            }
        } else if (!options.bankFile.empty()) {
            std::ifstream in(options.bankFile, std::ios::binary);
            const Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!loadImage(data)) {
                const VoiceReadResult read = readVoiceFile(options.bankFile);
                for (size_t k = 0; k < read.voices.size() && k < static_cast<size_t>(bankVoices); ++k) {
                    memory.voices[k] = read.voices[k];
                    held[k] = true;
                }
                if (read.voices.empty())
                    return false;
            }
        }
        if (kept || options.powerCycle)
            powerOn(0);
        return true;
    }

    // Input from the port, piece by piece as it came, with the times it came. The bytes
    // are timed as the MIDI wire carries them: a piece starts when it comes or when the
    // wire is done with the one before.
    void takePiece(const uint8_t* bytes, size_t size, Times time, Clock::time_point now)
    {
        const Times start{std::max(time.wall, inWireFree.wall), std::max(time.frame, inWireFree.frame)};
        for (size_t k = 0; k < size; ++k) {
            const double after = static_cast<double>(k + 1) * byteMicroseconds;
            takeByte(bytes[k], {start.wall + after, start.frame + after}, now);
        }
        const double all = static_cast<double>(size) * byteMicroseconds;
        inWireFree = {start.wall + all, start.frame + all};
    }

    void take(const Bytes& m, Clock::time_point now)
    {
        ++received;
        char name[32];
        std::snprintf(name, sizeof name, "/received-%04lu.syx", received);
        if (!options.stateDir.empty())
            writeFile(options.stateDir + name, m.data(), m.size());
        if (isDump(m)) {
            ++dumps;
            if ((m[2] & 0x0F) == options.channel) {
                voice = m;
                voice[dumpChannelOffset] = 0x00;
                if (!options.stateDir.empty())
                    writeFile(options.stateDir + "/voice.syx", voice.data(), voice.size());
            }
            say("voice dump received on channel " + std::to_string((m[2] & 0x0F) + 1));
        } else if (isBankHead(m.data(), m.size())) {
            ++banks;
            say("bank dump received on channel " + std::to_string((m[2] & 0x0F) + 1) + ", " +
                std::to_string(m.size()) + " bytes");
        } else if (isBankRequest(m)) {
            ++bankRequests;
            const int channel = m[2] & 0x0F;
            say("bank request received on channel " + std::to_string(channel + 1));
            if (channel == options.channel && !options.silent)
                answerBank(now + std::chrono::milliseconds(options.delayMs));
        } else if (isRequest(m)) {
            ++requests;
            const int channel = m[2] & 0x0F;
            say("dump request received on channel " + std::to_string(channel + 1));
            if (channel == options.channel && !options.silent)
                answer(now + std::chrono::milliseconds(options.delayMs));
        } else {
            ++other;
            say("other System Exclusive message received, " + std::to_string(m.size()) + " bytes");
        }
    }

    // Moves messages whose time has come to the process thread, oldest first.
    void release(Clock::time_point now)
    {
        while (!pending.empty() && pending.front().due <= now) {
            const Bytes& m = pending.front().message;
            const uint32_t length = static_cast<uint32_t>(m.size());
            if (jack_ringbuffer_write_space(wire.txRing) < sizeof length + length)
                break;
            jack_ringbuffer_write(wire.txRing, reinterpret_cast<const char*>(&length), sizeof length);
            jack_ringbuffer_write(wire.txRing, reinterpret_cast<const char*>(m.data()), length);
            inFlight.push_back(pending.front().kind);
            pending.pop_front();
        }
        const unsigned long sent = wire.messagesSent.load();
        while (sentSeen < sent && !inFlight.empty()) {
            if (inFlight.front() == Kind::answer) {
                ++answers;
                say("voice dump sent");
            } else if (inFlight.front() == Kind::bankEnd) {
                ++bankAnswers;
                say("bank dump sent");
            }
            inFlight.pop_front();
            ++sentSeen;
        }
    }

    void saveCounts()
    {
        const std::string text =
            "dumps " + std::to_string(dumps) + "\nrequests " + std::to_string(requests) + "\nanswers " +
            std::to_string(answers) + "\nother " + std::to_string(other) + "\nreceived " +
            std::to_string(received) + "\nnotes " + std::to_string(notesReceived) + "\nbank-requests " +
            std::to_string(bankRequests) + "\nbank-answers " + std::to_string(bankAnswers) + "\nbanks " +
            std::to_string(banks) + "\nbank-blocks " + std::to_string(bankBlocksTaken) + "\nbank-stops " +
            std::to_string(bankStops) + "\nprotected " + std::to_string(protectedBanks) + "\nshort-gaps " +
            std::to_string(shortGaps) + "\npower-on-resets " + std::to_string(powerOnResets) + "\n" +
            "cycles " + std::to_string(wire.processCycles.load()) + "\n" +
            (minGap >= 0 ? "min-gap-us " + std::to_string(minGap) + "\n" : "");
        if (text == lastCounts)
            return;
        lastCounts = text;
        if (!options.stateDir.empty())
            writeText(options.stateDir + "/counts", text);
    }

private:
    std::string memoryPath() const { return options.stateDir + "/memory.syx"; }

    // A bank dump taken as memory whatever its counts and checksums say (a memory image
    // or a --bank file). False when it is no bank dump of full length.
    bool loadImage(const Bytes& data)
    {
        if (!isBankHead(data.data(), data.size()) || data.size() + 1 < bankExpectedSize)
            return false;
        for (int r = 0; r < bankVoices; ++r) {
            const size_t at = bankBlockOffset(r / bankVoicesPerBlock) + 2 +
                              (r < bankVoicesPerBlock ? 10 : 0) +
                              static_cast<size_t>(r % bankVoicesPerBlock) * bankRecordSize;
            memory.voices[static_cast<size_t>(r)] = dumpFromBankRecord(data.data() + at);
        }
        for (int k = 0; k < multiCount; ++k)
            memory.multis[static_cast<size_t>(k)] = multiFromWire(
                data.data() + bankBlockOffset(bankVoiceBlocks) + 2 + static_cast<size_t>(k) * multiWireSize);
        held.fill(true);
        return true;
    }

    // The memory as a bank dump, as the synthesiser sends it: records as they are
    // held, nothing mended.
    Bytes bankImage(int channel) const
    {
        std::vector<VoiceDump> voices(bankVoices);
        for (size_t r = 0; r < voices.size(); ++r) {
            if (held[r])
                voices[r] = memory.voices[r];
            else
                std::copy(voice.begin(), voice.end(), voices[r].begin());
        }
        Bytes message = buildBankDump(voices, channel);
        const size_t at = bankBlockOffset(bankVoiceBlocks) + 2;
        for (size_t k = 0; k < memory.multis.size(); ++k)
            multiToWire(memory.multis[k], message.data() + at + k * multiWireSize);
        unsigned sum = 0;
        for (size_t i = 0; i < static_cast<size_t>(bankMultiPayload); ++i)
            sum += message[at + i];
        message[at + static_cast<size_t>(bankMultiPayload)] = static_cast<uint8_t>((0 - sum) & 0x7F);
        return message;
    }

    void saveMemory()
    {
        if (options.stateDir.empty())
            return;
        const Bytes image = bankImage(0);
        writeFile(memoryPath(), image.data(), image.size());
    }

    // What the synthesiser does at power-on, from voice firstVoice on and for every
    // multi: a record whose tag or checksum is wrong becomes the initial one.
    void powerOn(int firstVoice)
    {
        const Bank initial = initialBank();
        int voices = 0, multis = 0;
        for (size_t r = static_cast<size_t>(firstVoice); r < memory.voices.size(); ++r) {
            if (!held[r]) {
                std::copy(voice.begin(), voice.end(), memory.voices[r].begin());
                held[r] = true;
            }
            const VoiceDump& d = memory.voices[r];
            if (d[16] * 128 + d[17] != voiceTag || !innerChecksumOk(d.data())) {
                memory.voices[r] = initial.voices[r];
                ++voices;
            }
        }
        for (size_t k = 0; k < memory.multis.size(); ++k) {
            if (!checkMulti(memory.multis[k]).empty()) {
                memory.multis[k] = initial.multis[k];
                ++multis;
            }
        }
        powerOnResets += static_cast<unsigned long>(voices + multis);
        say("memory check: " + std::to_string(voices) + " voices and " + std::to_string(multis) +
            " multis replaced by the initial ones");
        saveMemory();
    }

    // One byte off the wire, its last bit in at `time`.
    void takeByte(uint8_t b, Times time, Clock::time_point now)
    {
        if (!inSysex && (b & 0xE0) == 0x80)
            ++notesReceived;   // note off (8n) or note on (9n)
        if (b >= 0xF8)
            return;   // real-time bytes go through anything
        if (b == 0xF0) {
            if (inSysex)
                endSysex(now, false);
            inSysex = true;
            overflow = false;
            assembly.clear();
        } else if (!inSysex) {
            return;   // short messages
        } else if ((b & 0x80) != 0 && b != 0xF7) {
            endSysex(now, false);   // a status byte broke the message off
            return;
        }
        if (assembly.size() < maxMessage)
            assembly.push_back(b);
        else
            overflow = true;
        if (bankIn.on)
            bankByte(b, time);
        else if (assembly.size() == 16 && isBankHead(assembly.data(), assembly.size()))
            beginBank(time);
        if (b == 0xF7)
            endSysex(now, true);
    }

    void endSysex(Clock::time_point now, bool whole)
    {
        if (bankIn.on)
            stopBank("the bank dump ended in block " + std::to_string(bankIn.block + 1));
        inSysex = false;
        if (whole && !overflow)
            take(assembly, now);
    }

    // The bank receive, byte by byte from block 1's count bytes on.
    struct BankIn {
        bool on = false;
        int block = 0;   // 0..16
        size_t at = 0;   // bytes of the block so far, count bytes included
        unsigned sum = 0;
        Bytes record;
        Times lastEnd;   // when the last byte of the block before came in
    };

    static size_t payloadOf(int block)
    {
        return static_cast<size_t>(block == 0                ? bankFirstPayload
                                   : block < bankVoiceBlocks ? bankVoicePayload
                                                             : bankMultiPayload);
    }

    void beginBank(Times time)
    {
        const int channel = assembly[2] & 0x0F;
        if (channel != options.channel) {
            say("bank dump for channel " + std::to_string(channel + 1) + " passed over");
            return;
        }
        if (options.protect) {
            ++protectedBanks;
            say("Memory protected: the bank dump writes nothing");
            return;
        }
        bankIn = BankIn{};
        bankIn.on = true;
        for (size_t i = 4; i < assembly.size(); ++i)
            bankByte(assembly[i], time);
    }

    void bankByte(uint8_t b, Times time)
    {
        BankIn& in = bankIn;
        if (in.at == 0 && in.block > 0) {
            const double gap = std::max(time.wall - byteMicroseconds - in.lastEnd.wall,
                                        time.frame - byteMicroseconds - in.lastEnd.frame);
            const long gapUs = static_cast<long>(gap);
            if (minGap < 0 || gapUs < minGap)
                minGap = gapUs;
            if (gap < blockGapMicroseconds) {
                ++shortGaps;
                std::fprintf(
                    stderr,
                    "virtual-sy22: block %d came %.1f ms after the end of block %d (at least %d ms wanted)\n",
                    in.block + 1, gap / 1000.0, in.block, bankBlockGapMs);
                std::fflush(stderr);
            }
        }
        ++in.at;
        if (in.at <= 2)
            return;   // the count: never looked at
        const size_t payload = payloadOf(in.block);
        if (in.at <= 2 + payload) {
            in.sum += b;
            if (in.block == 0 && in.at <= 2 + 10)
                return;   // the header text
            in.record.push_back(b);
            const bool multis = in.block == bankVoiceBlocks;
            const size_t size =
                multis ? static_cast<size_t>(multiWireSize) : static_cast<size_t>(bankRecordSize);
            if (in.record.size() == size) {
                // Written as it arrives, before the block's checksum is in; a
                // dropped block's records are passed over.
                const size_t block = static_cast<size_t>(in.block);
                if (in.block + 1 == options.dropBlock) {
                    in.record.clear();
                    return;
                }
                const size_t index = (in.at - 2 - (in.block == 0 ? 10 : 0)) / size - 1;
                if (multis) {
                    memory.multis[index] = multiFromWire(in.record.data());
                } else {
                    const size_t r = block * bankVoicesPerBlock + index;
                    memory.voices[r] = dumpFromBankRecord(in.record.data());
                    held[r] = true;
                }
                in.record.clear();
            }
            return;
        }
        if (((0 - in.sum) & 0x7F) != b) {
            stopBank("block " + std::to_string(in.block + 1) + " failed its checksum");
            return;
        }
        ++bankBlocksTaken;
        in.lastEnd = time;
        in.at = 0;
        in.sum = 0;
        if (++in.block == bankBlockCount) {
            in.on = false;
            say("bank dump written: 64 voices and 16 multis");
        }
        // Each block is in the memory once written: a send stopped between blocks
        // leaves the blocks before in the state too.
        saveMemory();
    }

    // The receive stops: the blocks before stay written, and the records from the
    // block under way on are checked as at power-on.
    void stopBank(const std::string& why)
    {
        ++bankStops;
        say(why + ": the receive stops");
        const int from = bankIn.block < bankVoiceBlocks ? bankIn.block * bankVoicesPerBlock : bankVoices;
        bankIn.on = false;
        powerOn(from);
    }

    enum class Kind { other, answer, bankPiece, bankEnd };
    struct Pending {
        Clock::time_point due;
        Bytes message;
        Kind kind;
    };

    void say(const std::string& line)
    {
        std::printf("virtual-sy22: %s\n", line.c_str());
        std::fflush(stdout);
    }

    // A message counts as arrived once its last byte is through the wire.
    void queue(Bytes message, Clock::time_point earliest, bool isAnswer)
    {
        queue(std::move(message), earliest, isAnswer ? Kind::answer : Kind::other);
    }
    void queue(Bytes message, Clock::time_point earliest, Kind kind)
    {
        if (pending.size() >= maxPending)
            return;
        Clock::time_point start = std::max(earliest, wireFree);
        if (options.wirePace)
            start += std::chrono::microseconds(static_cast<long>(message.size()) * 320);
        wireFree = start;
        pending.push_back({start, std::move(message), kind});
    }

    // The bank on the answer channel, piece by piece, each piece due when its last
    // byte would be through the wire.
    void answerBank(Clock::time_point due)
    {
        const int channel = options.answerChannel >= 0 ? options.answerChannel : options.channel;
        const Bytes message = bankImage(channel);
        if (pending.size() + message.size() / bankPiece + 1 > maxPending)
            return;
        for (size_t at = 0; at < message.size(); at += bankPiece) {
            const size_t size = std::min(bankPiece, message.size() - at);
            queue(Bytes(message.begin() + static_cast<long>(at),
                        message.begin() + static_cast<long>(at + size)),
                  due, at + size == message.size() ? Kind::bankEnd : Kind::bankPiece);
        }
    }

    void answer(Clock::time_point due)
    {
        const uint8_t channel =
            static_cast<uint8_t>(options.answerChannel >= 0 ? options.answerChannel : options.channel);
        if (options.otherFirst) {
            // A short parameter message, then one as long as a dump but with another
            // header: neither is a voice dump.
            queue({0xF0, 0x43, static_cast<uint8_t>(0x10 | channel), 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, due,
                  false);
            Bytes lookalike(dumpSize, 0x55);
            const uint8_t head[] = {0xF0, 0x43, channel, 0x7E, 0x04, 0x48, 'X', 'X',
                                    ' ',  ' ',  '0',     '0',  '0',  '0',  'X', 'X'};
            std::copy(std::begin(head), std::end(head), lookalike.begin());
            lookalike.back() = 0xF7;
            queue(std::move(lookalike), due, false);
        }
        Bytes dump = voice;
        dump[dumpChannelOffset] = channel;
        queue(std::move(dump), due, true);
    }

    const Options& options;
    Wire& wire;
    Bytes voice;
    std::deque<Pending> pending;
    Bank memory;
    std::array<bool, bankVoices> held{};   // written to; the others answer the current voice
    BankIn bankIn;
    Bytes assembly;
    bool inSysex = false;
    bool overflow = false;
    Times inWireFree;
    std::deque<Kind> inFlight;
    unsigned long sentSeen = 0;
    Clock::time_point wireFree{};
    unsigned long dumps = 0, requests = 0, answers = 0, other = 0, received = 0;
    unsigned long bankRequests = 0, bankAnswers = 0;
    unsigned long notesReceived = 0, banks = 0, bankBlocksTaken = 0, bankStops = 0, protectedBanks = 0;
    unsigned long shortGaps = 0, powerOnResets = 0;
    long minGap = -1;
    std::string lastCounts;
};

}   // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(usage, stderr);
        return 1;
    }
    // A state folder that is missing is made; one that cannot be is refused, never
    // left to lose what the tests read there.
    if (!options.stateDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options.stateDir, error);
        if (error || !std::filesystem::is_directory(options.stateDir)) {
            std::fprintf(stderr, "virtual-sy22: %s: cannot make the state folder%s%s\n",
                         options.stateDir.c_str(), error ? ": " : "", error ? error.message().c_str() : "");
            return 1;
        }
    }
    Wire wire;
    Synth synth(options, wire);
    if (!synth.loadVoice()) {
        std::fprintf(stderr, "virtual-sy22: %s: no voice dump in the file\n", options.voiceFile.c_str());
        return 1;
    }
    if (!synth.loadMemory()) {
        std::fprintf(stderr, "virtual-sy22: %s: no voice in the file\n", options.bankFile.c_str());
        return 1;
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    jack_set_error_function(silent);
    jack_set_info_function(silent);

    jack_status_t status{};
    wire.client = jack_client_open(
        options.name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    if (wire.client == nullptr) {
        std::fprintf(stderr, "virtual-sy22: cannot join the JACK server as \"%s\"%s\n", options.name.c_str(),
                     (status & JackNameNotUnique) ? " (the name is taken)" : " (is a JACK server running?)");
        return 1;
    }
    wire.rxRing = jack_ringbuffer_create(ringSize);
    wire.txRing = jack_ringbuffer_create(ringSize);
    wire.inPort = jack_port_register(wire.client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    wire.outPort = jack_port_register(wire.client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (wire.rxRing == nullptr || wire.txRing == nullptr || wire.inPort == nullptr ||
        wire.outPort == nullptr) {
        std::fputs("virtual-sy22: cannot create the MIDI ports\n", stderr);
        jack_client_close(wire.client);
        return 1;
    }
    jack_set_process_callback(wire.client, process, &wire);
    jack_on_shutdown(wire.client, onShutdown, &wire);
    if (jack_activate(wire.client) != 0) {
        std::fputs("virtual-sy22: cannot start the JACK wire.client\n", stderr);
        jack_client_close(wire.client);
        return 1;
    }
    const std::string ports =
        std::string(jack_port_name(wire.inPort)) + "\n" + jack_port_name(wire.outPort) + "\n";
    if (!options.stateDir.empty()) {
        synth.saveCounts();
        writeText(options.stateDir + "/ready", ports);
    }
    std::printf("virtual-sy22: listening on %s, answering on %s, channel %d\n", jack_port_name(wire.inPort),
                jack_port_name(wire.outPort), options.channel + 1);
    std::fflush(stdout);

    const auto end = Clock::now() + std::chrono::seconds(options.lifetimeSeconds);
    while (!stopRequested.load() && !wire.serverGone.load() && Clock::now() < end) {
        const auto now = Clock::now();
        for (int guard = 0; guard < 256; ++guard) {
            PieceHead head{};
            if (jack_ringbuffer_peek(wire.rxRing, reinterpret_cast<char*>(&head), sizeof head) !=
                    sizeof head ||
                jack_ringbuffer_read_space(wire.rxRing) < sizeof head + head.length)
                break;
            Bytes piece(head.length);
            jack_ringbuffer_read_advance(wire.rxRing, sizeof head);
            jack_ringbuffer_read(wire.rxRing, reinterpret_cast<char*>(piece.data()), head.length);
            synth.takePiece(piece.data(), piece.size(),
                            {static_cast<double>(head.wall), static_cast<double>(head.frame)}, now);
        }
        synth.release(now);
        synth.saveCounts();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    if (wire.serverGone.load()) {
        std::fputs("virtual-sy22: the JACK server went away\n", stderr);
        return 2;
    }
    jack_deactivate(wire.client);
    jack_client_close(wire.client);
    jack_ringbuffer_free(wire.rxRing);
    jack_ringbuffer_free(wire.txRing);
    return 0;
}
