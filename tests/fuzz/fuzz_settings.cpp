// SPDX-License-Identifier: GPL-3.0-or-later
// The settings reader: whatever the file held, what save writes reads back the same.
#include "settings/settings.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TSettings read;
    read.parse(reinterpret_cast<const char*>(data), size);
    const std::string written = read.text();
    FUZZ_CHECK(!written.empty() && written.size() <= TSettings::textLimit);
    // The five lines come first and fit where the five keys are looked for.
    FUZZ_CHECK(written.find("Auto send=") != std::string::npos && written.find("Auto send=") < 100 - 3);
    TSettings back;
    back.parse(written.data(), written.size());
    FUZZ_CHECK(back.midiChannel == read.midiChannel);
    FUZZ_CHECK(back.inDevice == read.inDevice);
    FUZZ_CHECK(back.outDevice == read.outDevice);
    FUZZ_CHECK(back.model == read.model);
    FUZZ_CHECK(back.autoSend == read.autoSend);
    FUZZ_CHECK(back.inDeviceName == read.inDeviceName);
    FUZZ_CHECK(back.outDeviceName == read.outDeviceName);
    FUZZ_CHECK(back.lastFolder == read.lastFolder);
    FUZZ_CHECK(back.text() == written);
    return 0;
}
