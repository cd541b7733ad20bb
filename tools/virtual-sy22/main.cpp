// virtual-sy22: a stand-in for the synthesiser on JACK MIDI, for the tests and for
// trying the editor without hardware. It keeps the last voice dump it received for
// its channel and answers a dump request for its channel with that voice, sending
// at the pace of the MIDI wire. A bank request for its channel gets a bank of 64
// voices (those of --bank, else its current voice in every place), sent in pieces of
// a few hundred bytes as an interface hands a long message over, the first piece
// beginning F0 and the last ending F7. Options make it misbehave the way real
// set-ups do.
//
// With --state DIR it leaves what it saw for a test to read:
//   DIR/ready              the full names of its two ports, once they exist
//   DIR/received-NNNN.syx  every System Exclusive message received, in order
//   DIR/voice.syx          its current voice (byte 2 = 0x00)
//   DIR/counts             lines "dumps N", "requests N", "answers N", "other N",
//                          "received N", "notes N" (note on and note off
//                          messages), "bank-requests N", "bank-answers N"
//                          (answers count once they have left the port), "cycles N"
//                          (JACK process cycles run; what reached the port by one
//                          cycle is counted once the count shows a later one)
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "library/voiceimport.h"
#include "voice/dumpcodec.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr size_t maxMessage = 4096;
constexpr size_t ringSize = 1 << 16;
constexpr size_t maxPending = 512;
constexpr size_t bankPiece = 256;       // bytes per JACK event of a bank answer

struct Options {
    std::string name = "virtual-sy22";
    int channel = 0;
    int answerChannel = -1;      // -1: its own channel
    std::string voiceFile;
    std::string bankFile;
    std::string stateDir;
    bool silent = false;
    bool otherFirst = false;
    bool wirePace = true;
    long delayMs = 0;
    long lifetimeSeconds = 3600;
};

const char usage[] =
    "usage: virtual-sy22 [--name CLIENT] [--channel C] [--voice FILE.SYX] [--bank FILE.SYX]\n"
    "                    [--state DIR]\n"
    "                    [--silent] [--delay-ms N] [--other-first] [--answer-channel C]\n"
    "                    [--no-wire-pace] [--lifetime SECONDS]\n"
    "  Opens the JACK MIDI ports CLIENT:in and CLIENT:out (channel C is 0..15).\n"
    "  --bank takes a bank dump or a file of single dumps: its first 64 voices make\n"
    "  the bank it answers with, the current voice filling any places left.\n";

std::atomic<bool> stopRequested{false};
std::atomic<bool> serverGone{false};
std::atomic<unsigned long> messagesSent{0};
std::atomic<unsigned long> notesReceived{0};
std::atomic<unsigned long> processCycles{0};

jack_port_t* inPort = nullptr;
jack_port_t* outPort = nullptr;
jack_ringbuffer_t* rxRing = nullptr;   // process thread -> main thread
jack_ringbuffer_t* txRing = nullptr;   // main thread -> process thread

// Assembly of a System Exclusive message that may come in pieces (process thread only).
uint8_t assembly[maxMessage];
size_t assemblyLength = 0;
bool inSysex = false;
bool overflow = false;

void onSignal(int) { stopRequested.store(true); }
void onShutdown(void*) { serverGone.store(true); }
void silent(const char*) {}

void finishSysex()
{
    const uint32_t length = static_cast<uint32_t>(assemblyLength);
    if (!overflow && jack_ringbuffer_write_space(rxRing) >= sizeof length + length) {
        jack_ringbuffer_write(rxRing, reinterpret_cast<const char*>(&length), sizeof length);
        jack_ringbuffer_write(rxRing, reinterpret_cast<const char*>(assembly), length);
    }
    inSysex = false;
}

void takeByte(uint8_t b)
{
    if (!inSysex && (b & 0xE0) == 0x80)
        notesReceived.fetch_add(1);         // note off (8n) or note on (9n)
    if (b == 0xF0) {
        inSysex = true;
        overflow = false;
        assemblyLength = 0;
    } else if (!inSysex || b >= 0xF8) {
        return;                             // short messages and real-time bytes
    } else if ((b & 0x80) != 0 && b != 0xF7) {
        inSysex = false;                    // a status byte broke the message off
        return;
    }
    if (assemblyLength < maxMessage)
        assembly[assemblyLength++] = b;
    else
        overflow = true;
    if (b == 0xF7)
        finishSysex();
}

int process(jack_nframes_t frames, void*)
{
    // PipeWire's JACK layer has no buffer for a port while its links are being set up.
    void* in = jack_port_get_buffer(inPort, frames);
    const uint32_t count = in != nullptr ? jack_midi_get_event_count(in) : 0;
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) != 0)
            continue;
        for (size_t k = 0; k < event.size; ++k)
            takeByte(event.buffer[k]);
    }
    void* out = jack_port_get_buffer(outPort, frames);
    if (out == nullptr) {
        processCycles.fetch_add(1);
        return 0;       // what waits goes out in a later cycle
    }
    jack_midi_clear_buffer(out);
    // Whatever does not fit this cycle waits for the next one; nothing is dropped.
    for (int guard = 0; guard < 64; ++guard) {
        uint32_t length = 0;
        if (jack_ringbuffer_peek(txRing, reinterpret_cast<char*>(&length), sizeof length) != sizeof length)
            break;
        if (jack_ringbuffer_read_space(txRing) < sizeof length + length)
            break;
        jack_midi_data_t* target = jack_midi_event_reserve(out, 0, length);
        if (target == nullptr)
            break;
        jack_ringbuffer_read_advance(txRing, sizeof length);
        jack_ringbuffer_read(txRing, reinterpret_cast<char*>(target), length);
        messagesSent.fetch_add(1);
    }
    processCycles.fetch_add(1);
    return 0;
}

bool isDump(const Bytes& m)
{
    return m.size() == static_cast<size_t>(dumpSize) && m[0] == 0xF0 && m[1] == 0x43 &&
           (m[2] & 0xF0) == 0x00 && m[3] == 0x7E && m[4] == 0x04 && m[5] == 0x48 &&
           std::memcmp(m.data() + 6, dumpHeaderText, 10) == 0 && m.back() == 0xF7;
}

bool isRequest(const Bytes& m)
{
    return m.size() == 15 && m[0] == 0xF0 && m[1] == 0x43 && (m[2] & 0xF0) == 0x20 &&
           m[3] == 0x7E && std::memcmp(m.data() + 4, dumpHeaderText, 10) == 0 && m[14] == 0xF7;
}

bool isBankRequest(const Bytes& m)
{
    return m.size() == 15 && m[0] == 0xF0 && m[1] == 0x43 && (m[2] & 0xF0) == 0x20 &&
           m[3] == 0x7E && std::memcmp(m.data() + 4, bankHeaderText, 10) == 0 && m[14] == 0xF7;
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
        } else {
            return false;
        }
    }
    return !o.name.empty();
}

class Synth {
public:
    explicit Synth(const Options& o) : options(o) {}

    bool loadVoice()
    {
        if (options.voiceFile.empty()) {
            Voice v;
            resetVoice(v);
            const uint8_t* d = dumpCodec.encodeVoice(v);
            voice.assign(d, d + dumpSize);
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

    bool loadBank()
    {
        if (options.bankFile.empty())
            return true;
        const VoiceReadResult read = readVoiceFile(options.bankFile);
        for (const VoiceDump& v : read.voices)
            if (bank.size() < bankVoices)
                bank.push_back(v);
        return !bank.empty();
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
            if (jack_ringbuffer_write_space(txRing) < sizeof length + length)
                break;
            jack_ringbuffer_write(txRing, reinterpret_cast<const char*>(&length), sizeof length);
            jack_ringbuffer_write(txRing, reinterpret_cast<const char*>(m.data()), length);
            inFlight.push_back(pending.front().kind);
            pending.pop_front();
        }
        const unsigned long sent = messagesSent.load();
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
        const std::string text = "dumps " + std::to_string(dumps) + "\nrequests " +
                                 std::to_string(requests) + "\nanswers " + std::to_string(answers) +
                                 "\nother " + std::to_string(other) + "\nreceived " +
                                 std::to_string(received) + "\nnotes " +
                                 std::to_string(notesReceived.load()) + "\nbank-requests " +
                                 std::to_string(bankRequests) + "\nbank-answers " +
                                 std::to_string(bankAnswers) + "\ncycles " +
                                 std::to_string(processCycles.load()) + "\n";
        if (text == lastCounts)
            return;
        lastCounts = text;
        if (!options.stateDir.empty())
            writeText(options.stateDir + "/counts", text);
    }

private:
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
        std::vector<VoiceDump> voices = bank;
        VoiceDump current{};
        std::copy(voice.begin(), voice.end(), current.begin());
        while (voices.size() < bankVoices)
            voices.push_back(current);
        const Bytes message = buildBankDump(voices, channel);
        if (pending.size() + message.size() / bankPiece + 1 > maxPending)
            return;
        for (size_t at = 0; at < message.size(); at += bankPiece) {
            const size_t size = std::min(bankPiece, message.size() - at);
            queue(Bytes(message.begin() + static_cast<long>(at), message.begin() + static_cast<long>(at + size)),
                  due, at + size == message.size() ? Kind::bankEnd : Kind::bankPiece);
        }
    }

    void answer(Clock::time_point due)
    {
        const uint8_t channel = static_cast<uint8_t>(
            options.answerChannel >= 0 ? options.answerChannel : options.channel);
        if (options.otherFirst) {
            // A short parameter message, then one as long as a dump but with another
            // header: neither is a voice dump.
            queue({0xF0, 0x43, static_cast<uint8_t>(0x10 | channel), 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
                  due, false);
            Bytes lookalike(dumpSize, 0x55);
            const uint8_t head[] = {0xF0, 0x43, channel, 0x7E, 0x04, 0x48,
                                    'X', 'X', ' ', ' ', '0', '0', '0', '0', 'X', 'X'};
            std::copy(std::begin(head), std::end(head), lookalike.begin());
            lookalike.back() = 0xF7;
            queue(std::move(lookalike), due, false);
        }
        Bytes dump = voice;
        dump[dumpChannelOffset] = channel;
        queue(std::move(dump), due, true);
    }

    const Options& options;
    Bytes voice;
    std::deque<Pending> pending;
    std::vector<VoiceDump> bank;
    std::deque<Kind> inFlight;
    unsigned long sentSeen = 0;
    Clock::time_point wireFree{};
    unsigned long dumps = 0, requests = 0, answers = 0, other = 0, received = 0;
    unsigned long bankRequests = 0, bankAnswers = 0;
    std::string lastCounts;
};

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(usage, stderr);
        return 1;
    }
    Synth synth(options);
    if (!synth.loadVoice()) {
        std::fprintf(stderr, "virtual-sy22: %s: no voice dump in the file\n", options.voiceFile.c_str());
        return 1;
    }
    if (!synth.loadBank()) {
        std::fprintf(stderr, "virtual-sy22: %s: no voice in the file\n", options.bankFile.c_str());
        return 1;
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    jack_set_error_function(silent);
    jack_set_info_function(silent);

    jack_status_t status{};
    jack_client_t* client = jack_client_open(options.name.c_str(),
                                             static_cast<jack_options_t>(JackNoStartServer | JackUseExactName),
                                             &status);
    if (client == nullptr) {
        std::fprintf(stderr, "virtual-sy22: cannot join the JACK server as \"%s\"%s\n", options.name.c_str(),
                     (status & JackNameNotUnique) ? " (the name is taken)" : " (is a JACK server running?)");
        return 1;
    }
    rxRing = jack_ringbuffer_create(ringSize);
    txRing = jack_ringbuffer_create(ringSize);
    inPort = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    outPort = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (rxRing == nullptr || txRing == nullptr || inPort == nullptr || outPort == nullptr) {
        std::fputs("virtual-sy22: cannot create the MIDI ports\n", stderr);
        jack_client_close(client);
        return 1;
    }
    jack_set_process_callback(client, process, nullptr);
    jack_on_shutdown(client, onShutdown, nullptr);
    if (jack_activate(client) != 0) {
        std::fputs("virtual-sy22: cannot start the JACK client\n", stderr);
        jack_client_close(client);
        return 1;
    }
    const std::string ports = std::string(jack_port_name(inPort)) + "\n" + jack_port_name(outPort) + "\n";
    if (!options.stateDir.empty()) {
        synth.saveCounts();
        writeText(options.stateDir + "/ready", ports);
    }
    std::printf("virtual-sy22: listening on %s, answering on %s, channel %d\n", jack_port_name(inPort),
                jack_port_name(outPort), options.channel + 1);
    std::fflush(stdout);

    const auto end = Clock::now() + std::chrono::seconds(options.lifetimeSeconds);
    while (!stopRequested.load() && !serverGone.load() && Clock::now() < end) {
        const auto now = Clock::now();
        for (int guard = 0; guard < 256; ++guard) {
            uint32_t length = 0;
            if (jack_ringbuffer_peek(rxRing, reinterpret_cast<char*>(&length), sizeof length) != sizeof length ||
                jack_ringbuffer_read_space(rxRing) < sizeof length + length)
                break;
            Bytes message(length);
            jack_ringbuffer_read_advance(rxRing, sizeof length);
            jack_ringbuffer_read(rxRing, reinterpret_cast<char*>(message.data()), length);
            synth.take(message, now);
        }
        synth.release(now);
        synth.saveCounts();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    if (serverGone.load()) {
        std::fputs("virtual-sy22: the JACK server went away\n", stderr);
        return 2;
    }
    jack_deactivate(client);
    jack_client_close(client);
    jack_ringbuffer_free(rxRing);
    jack_ringbuffer_free(txRing);
    return 0;
}
