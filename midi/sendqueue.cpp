// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/sendqueue.h"

#include <algorithm>
#include <exception>

TSendQueue::TSendQueue(Wire w, int settleMs)
    : wire(std::move(w)), voiceSettleMs(settleMs), sender([this] { run(); })
{
}

TSendQueue::~TSendQueue()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    sender.join();
}

unsigned long TSendQueue::enqueue(const uint8_t* bytes, size_t size, bool voice)
{
    std::unique_lock<std::mutex> guard(lock);
    if (voice && !queue.empty() && queue.back().voice) {
        queue.back().bytes.assign(bytes, bytes + size);
        queue.back().serial = ++queuedSerial;
        return queuedSerial;
    }
    if (queue.size() >= queueLimit)
        return 0;
    queue.push_back({std::vector<uint8_t>(bytes, bytes + size), voice, ++queuedSerial});
    guard.unlock();
    wake.notify_one();
    return queuedSerial;
}

bool TSendQueue::waitDone(unsigned long serial, Clock::time_point until)
{
    std::unique_lock<std::mutex> guard(lock);
    return progress.wait_until(guard, until, [&] { return doneSerial >= serial; });
}

bool TSendQueue::done(unsigned long serial) const
{
    std::lock_guard<std::mutex> guard(lock);
    return doneSerial >= serial;
}

bool TSendQueue::flush(int timeoutMs)
{
    unsigned long target = 0;
    {
        std::lock_guard<std::mutex> guard(lock);
        target = queuedSerial;
    }
    if (!waitDone(target, Clock::now() + std::chrono::milliseconds(timeoutMs)))
        return false;
    // A message that failed before this flush began still counts, unless an earlier
    // flush has answered for it already.
    std::lock_guard<std::mutex> guard(lock);
    const bool clean = failedSerial <= flushedSerial;
    flushedSerial = std::max(flushedSerial, target);
    return clean;
}

void TSendQueue::dropQueued()
{
    std::lock_guard<std::mutex> guard(lock);
    stopBank(BankStop::fail);
    queue.clear();
    doneSerial = queuedSerial;
    progress.notify_all();
}

std::string TSendQueue::takeFault()
{
    std::string text;
    std::lock_guard<std::mutex> guard(lock);
    text.swap(fault);
    return text;
}

bool TSendQueue::enqueueBank(const std::vector<std::vector<uint8_t>>& blocks, int gapMs)
{
    std::unique_lock<std::mutex> guard(lock);
    if (bank.active || queue.size() + blocks.size() > queueLimit)
        return false;
    bank.id += 1;
    bank.active = true;
    bank.stop = BankStop::none;
    bank.gapMs = gapMs;
    bank.progress = TBankSendProgress{};
    bank.progress.blocks = static_cast<int>(blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i)
        queue.push_back({blocks[i], false, ++queuedSerial, static_cast<int>(i), bank.id});
    guard.unlock();
    wake.notify_one();
    return true;
}

TBankSendProgress TSendQueue::bankProgress() const
{
    std::lock_guard<std::mutex> guard(lock);
    return bank.progress;
}

void TSendQueue::cancelBank()
{
    std::lock_guard<std::mutex> guard(lock);
    stopBank(BankStop::cancel);
}

void TSendQueue::endBank(BankStop why)
{
    if (!bank.active)
        return;
    bank.active = false;
    bank.progress.done = true;
    bank.progress.cancelled = why == BankStop::cancel;
    bank.progress.failed =
        why == BankStop::fail || (why == BankStop::none && bank.progress.blocksSent < bank.progress.blocks);
}

void TSendQueue::stopBank(BankStop why)
{
    if (!bank.active)
        return;
    bank.stop = why;
    if (!bank.holding)
        endBank(why);    // the sender has not come to its blocks yet
    wake.notify_all();   // a sender waiting out the pause stops waiting
}

// A block whose send has ended (or ends now) does not go out. Waits out the pause
// after the block before.
bool TSendQueue::takeBankBlock(const Outgoing& block, std::unique_lock<std::mutex>& guard)
{
    if (!bank.active || block.bankSend != bank.id)
        return false;
    bank.holding = true;
    if (block.bankBlock > 0) {
        const auto until = bank.lastEnd + std::chrono::milliseconds(bank.gapMs);
        wake.wait_until(guard, until, [&] { return stopping || bank.stop != BankStop::none; });
    }
    if (stopping || bank.stop != BankStop::none) {
        bank.holding = false;
        endBank(stopping ? BankStop::fail : bank.stop);
        return false;
    }
    return true;
}

void TSendQueue::bankBlockOut(bool sent)
{
    bank.holding = false;
    if (sent) {
        ++bank.progress.blocksSent;
        bank.lastEnd = Clock::now();
    }
    if (!sent)
        endBank(BankStop::fail);
    else if (bank.stop != BankStop::none || bank.progress.blocksSent == bank.progress.blocks)
        endBank(bank.stop);
}

void TSendQueue::run()
{
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        wake.wait(guard, [&] { return stopping || !queue.empty(); });
        if (queue.empty())
            return;   // stopping, with nothing left
        Outgoing message = std::move(queue.front());
        queue.pop_front();
        if (message.bankBlock >= 0 && !takeBankBlock(message, guard)) {
            doneSerial = std::max(doneSerial, message.serial);
            progress.notify_all();
            continue;
        }
        guard.unlock();
        bool sent = false;
        std::string thrown;
        try {
            sent = wire(message.bytes.data(), message.bytes.size());
        } catch (const std::exception& e) {
            thrown = e.what();
        } catch (...) {
            thrown = "unknown failure";
        }
        if (sent && message.voice)
            std::this_thread::sleep_for(std::chrono::milliseconds(voiceSettleMs));
        guard.lock();
        if (!thrown.empty() && !failing)
            fault = "The MIDI output failed while sending: " + thrown;
        failing = !thrown.empty() || (failing && !sent);
        if (message.bankBlock >= 0)
            bankBlockOut(sent);
        if (!sent)
            failedSerial = message.serial;
        doneSerial = std::max(doneSerial, message.serial);
        progress.notify_all();
    }
}
