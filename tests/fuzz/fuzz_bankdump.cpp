// SPDX-License-Identifier: GPL-3.0-or-later
// The strict bank reader: whatever the bytes, a bank it takes encodes again into a bank
// it takes, holding the same voices and multis, and one it refuses is refused with a
// reason; the sender's pieces of a bank join into it again. The same bytes as multi
// lines either apply, leaving every multi good, or are refused by line, changing nothing.
#include "tests/fuzz/fuzz_support.h"
#include "voice/bank.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bank bank = initialBank();
    std::string error;
    if (size < 4096) {
        const Bank before = bank;
        if (parseMultiLines(std::string(data, data + size), bank, error)) {
            for (const MultiRecord& m : bank.multis)
                FUZZ_CHECK(checkMulti(m).empty());
        } else {
            FUZZ_CHECK(error.rfind("line ", 0) == 0);
            FUZZ_CHECK(bank.multis == before.multis);
        }
        bank = initialBank();
    }
    int channel = -1;
    if (!parseBankDump(data, size, bank, error, &channel)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(error == checkBankDump(data, size));
        return 0;
    }
    FUZZ_CHECK(channel >= 0 && channel < 16);
    const std::vector<uint8_t> again = encodeBankDump(bank, channel);
    FUZZ_CHECK(again.size() == bankExpectedSize);
    FUZZ_CHECK(checkBankDump(again.data(), again.size()).empty());
    Bank back = initialBank();
    FUZZ_CHECK(parseBankDump(again.data(), again.size(), back, error));
    FUZZ_CHECK(back.voices == bank.voices && back.multis == bank.multis);
    std::vector<uint8_t> joined;
    for (const std::vector<uint8_t>& piece : bankBlocks(again))
        joined.insert(joined.end(), piece.begin(), piece.end());
    FUZZ_CHECK(joined == again);
    return 0;
}
