// SPDX-License-Identifier: GPL-3.0-or-later
// A MIDI system of the test's own: records what is sent, and answers, throws or
// refuses as the test asks. Ports open at once; no JACK.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "midi/midibackend.h"

class TFakeMIDIBackend : public TMIDIBackend {
public:
    using Bytes = std::vector<uint8_t>;
    // What runs for each message sent, on the sender's thread, before it is recorded:
    // may throw, return false (refused) or answer through deliver.
    void onSend(std::function<bool(const Bytes&)> f)
    {
        std::lock_guard<std::mutex> guard(answerLock);
        answer = std::move(f);
    }

    bool throwOnEnumerate = false;

    void enumerate() override
    {
        if (throwOnEnumerate)
            throw std::runtime_error("the driver fell over");
    }
    int inputCount() const override { return 1; }
    int outputCount() const override { return 1; }
    std::string inputName(int n) const override { return n == 0 ? "fake in" : ""; }
    std::string outputName(int n) const override { return n == 0 ? "fake out" : ""; }
    std::string openInput(int, TMIDIInputHandler h, void* c) override
    {
        handler = h;
        context = c;
        return "";
    }
    std::string openOutput(int) override
    {
        outOpen = true;
        return "";
    }
    void closeInput() override { handler = nullptr; }
    void closeOutput() override { outOpen = false; }
    bool inputOpen() const override { return handler != nullptr; }
    bool outputOpen() const override { return outOpen; }
    unsigned long inputBytes() const override { return received; }

    bool send(const uint8_t* message, size_t size) override
    {
        const Bytes m(message, message + size);
        {
            std::lock_guard<std::mutex> guard(answerLock);
            if (answer && !answer(m))
                return false;
        }
        std::lock_guard<std::mutex> guard(lock);
        sentMessages.push_back(m);
        return true;
    }

    // A message from the synthesiser, as the MIDI service's thread would hand it over.
    void deliver(const Bytes& m)
    {
        received += m.size();
        if (handler)
            handler(m.data(), m.size(), context);
    }

    std::vector<Bytes> sent()
    {
        std::lock_guard<std::mutex> guard(lock);
        return sentMessages;
    }

private:
    std::mutex answerLock;
    std::function<bool(const Bytes&)> answer;
    std::mutex lock;
    std::vector<Bytes> sentMessages;
    TMIDIInputHandler handler = nullptr;
    void* context = nullptr;
    bool outOpen = false;
    std::atomic<unsigned long> received{0};
};
