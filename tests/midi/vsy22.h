// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the virtual SY-22 as a child process for a test and reads what it saw.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "midi/midiport.h"
#include "midi/syprotocol.h"
#include "voice/bank.h"
#include "voice/dumpcodec.h"
#include "voice/voicefields.h"

using Bytes = std::vector<uint8_t>;

// A bank message on channel n: 64 random voices (inner checksums right) and 16 multis
// named after the seed.
inline Bytes testBankMessage(uint32_t seed, int channel)
{
    Bank bank = initialBank();
    for (size_t k = 0; k < bank.voices.size(); ++k) {
        Voice v;
        randomVoice(v, seed * 100 + static_cast<uint32_t>(k));
        const VoiceDump d = encodeVoice(v);
        std::copy(d.begin(), d.end(), bank.voices[k].begin());
    }
    for (size_t m = 0; m < bank.multis.size(); ++m) {
        setMultiName(bank.multis[m], "S" + std::to_string(seed) + "M" + std::to_string(m + 1));
        setMultiChecksum(bank.multis[m]);
    }
    return encodeBankDump(bank, channel);
}

// Writes 00 00 as the inner checksum of voice slot 0..63 of a bank message, and makes
// its block's checksum right again.
inline void breakInnerChecksum(Bytes& message, int slot)
{
    const int block = slot / bankVoicesPerBlock;
    const size_t payload = bankBlockOffset(block) + 2;
    const size_t size = static_cast<size_t>(block == 0 ? bankFirstPayload : bankVoicePayload);
    const size_t record =
        payload + (block == 0 ? 10 : 0) + static_cast<size_t>(slot % bankVoicesPerBlock) * bankRecordSize;
    message[record + dumpInnerChecksumOffset - bankRecordOffset] = 0;
    message[record + dumpInnerChecksumOffset + 1 - bankRecordOffset] = 0;
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i)
        sum += message[payload + i];
    message[payload + size] = static_cast<uint8_t>((0 - sum) & 0x7F);
}

inline Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// Polls a condition every 10 ms for at most `seconds`: generous waits for delivery.
template <class Condition> bool eventually(Condition condition, double seconds = 10.0)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A fresh empty directory under the system's temporary directory.
inline std::string makeTempDir(const std::string& stem)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = mkdtemp(buffer.data());
    return made ? std::string(made) : std::string();
}

// Starts a program with its output in a file; returns its process id or -1.
inline pid_t spawn(const std::vector<std::string>& argv, const std::string& logFile)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGTERM);   // never outlive the test
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_RDONLY);
    if (log >= 0) {
        dup2(log, 1);
        dup2(log, 2);
    }
    if (null >= 0)
        dup2(null, 0);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// Asks a child to stop, and makes sure it has within a few seconds.
inline void stopChild(pid_t& pid, int signal = SIGTERM)
{
    if (pid <= 0)
        return;
    kill(pid, signal);
    int status = 0;
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    pid = -1;
}

class VirtualSY22 {
public:
    explicit VirtualSY22(std::vector<std::string> options = {}) : options(std::move(options))
    {
        static int serial = 0;
        name = "vsy" + std::to_string(getpid()) + "-" + std::to_string(++serial);
        dir = makeTempDir("tarvik-vsy22");
    }
    ~VirtualSY22()
    {
        stop();
        std::error_code ignored;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ignored);
    }

    // Launches it and waits until its ports exist.
    bool start()
    {
        std::vector<std::string> argv = {VIRTUAL_SY22, "--name", name, "--state", dir, "--lifetime", "300"};
        argv.insert(argv.end(), options.begin(), options.end());
        pid = spawn(argv, dir + "/log");
        if (pid <= 0)
            return false;
        return eventually([&] {
                   int status = 0;
                   if (waitpid(pid, &status, WNOHANG) == pid) {
                       pid = -1;
                       return true;
                   }
                   return std::filesystem::exists(dir + "/ready");
               }) &&
               pid > 0;
    }

    void stop() { stopChild(pid); }
    // Stops it and starts it again with other options, keeping its state directory
    // (and so its memory, as the synthesiser's battery keeps it over a power cycle).
    bool restart(std::vector<std::string> newOptions)
    {
        stop();
        options = std::move(newOptions);
        std::error_code ignored;
        std::filesystem::remove(dir + "/ready", ignored);
        return start();
    }
    bool running()
    {
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid)
            pid = -1;
        return pid > 0;
    }

    long count(const std::string& key) const
    {
        std::ifstream in(dir + "/counts");
        std::string word;
        long value = 0;
        while (in >> word >> value)
            if (word == key)
                return value;
        return -1;
    }
    bool waitForCount(const std::string& key, long atLeast, double seconds = 10.0) const
    {
        return eventually([&] { return count(key) >= atLeast; }, seconds);
    }

    // The n-th System Exclusive message it received, counting from 1.
    Bytes received(int n) const
    {
        char file[32];
        std::snprintf(file, sizeof file, "/received-%04d.syx", n);
        return readBytes(dir + file);
    }
    Bytes currentVoice() const { return readBytes(dir + "/voice.syx"); }
    std::string log() const
    {
        std::ifstream in(dir + "/log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Our input device is its output port, our output device its input port.
    int inDevice(const TMIDIPort& port) const { return find(port, true); }
    int outDevice(const TMIDIPort& port) const { return find(port, false); }

    std::string name;
    std::string dir;

private:
    int find(const TMIDIPort& port, bool input) const
    {
        const std::string wanted = name + (input ? ":out" : ":in");
        const int count = input ? port.inCount : port.outCount;
        for (int n = 0; n < count; ++n)
            if ((input ? port.inDeviceName(n) : port.outDeviceName(n)) == wanted)
                return n;
        return -1;
    }

    std::vector<std::string> options;
    pid_t pid = -1;
};

// What the transport told the user, in order.
class RecordingEvents : public TMIDIPortEvents {
public:
    void openError(const std::string& text) override { openErrors.push_back(text); }
    void sendError(const std::string& text) override { sendErrors.push_back(text); }
    // What fetchVoice tells.
    void noData() { ++noDataCalls; }
    void voiceReceived();

    std::vector<std::string> openErrors;
    std::vector<std::string> sendErrors;
    // Turns a timer of the event loop had while fetchVoice waited, and the last.
    int waitTicks = 0;
    std::chrono::steady_clock::time_point lastTick;
    int noDataCalls = 0;
    int receivedCalls = 0;
    Bytes voiceWhenReceived;   // the voice record, encoded, as voiceReceived saw it
    Voice voice{};             // what fetchVoice decoded the dump into
};

// Fetches the synthesiser's voice as the editor does: the fetch object in the event
// loop, the dump decoded into voice before events hear of it. True when one came.
bool fetchVoice(TSYProtocol& protocol, RecordingEvents& events);

// A JACK server of the test's own, under a name of its own, so that a test
// may stop it or count its ports without disturbing the shared server.
class PrivateJack {
public:
    PrivateJack()
    {
        // The same name on every run under the same shared server: JACK's registry of
        // servers has room for only 8 on the whole machine, and the place of a server
        // that died without its goodbye (killed by a test, or on a stop that timed out)
        // is taken back only by a server of the same name. A name of the process's own
        // would leave such places taken for good. The tests that use JACK run one at a time.
        const char* outer = std::getenv("JACK_DEFAULT_SERVER");
        const std::string base = outer != nullptr && *outer != '\0' ? outer : "default";
        name = base.rfind("tarvik-private-", 0) == 0 ? base : "tarvik-private-" + base;
        dir = makeTempDir("tarvik-jack");
    }
    ~PrivateJack()
    {
        stop();
        std::error_code ignored;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ignored);
    }

    // Starts it and makes it this process's (and its children's) default server.
    // Under PipeWire's JACK layer (the pw.* tests) the session's server stands in: it
    // serves one test at a time.
    bool start()
    {
        if (underPipeWire())
            return answers("");
        pid = spawn(
            {"jackd", "--name", name, "--no-realtime", "--sync", "-d", "dummy", "-r", "48000", "-p", "1024"},
            dir + "/jackd.log");
        if (pid <= 0)
            return false;
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        return eventually([&] { return answers(name); });
    }
    void stop() { stopChild(pid); }

    static bool underPipeWire() { return std::getenv("TARVIK_TEST_PIPEWIRE") != nullptr; }

    // True when a server of that name (empty: the default one) answers; starts none.
    static bool answers(const std::string& server)
    {
        const std::string named = server.empty() ? std::string() : " -s '" + server + "'";
        const std::string command = "JACK_NO_START_SERVER=1 timeout 5 jack_wait -c" + named + " 2>/dev/null";
        FILE* p = popen(command.c_str(), "r");
        if (p == nullptr)
            return false;
        char line[64] = {};
        const bool got = std::fgets(line, sizeof line, p) != nullptr;
        pclose(p);
        return got && std::string(line).rfind("running", 0) == 0;
    }

    std::string name;
    std::string dir;
    pid_t pid = -1;
};
