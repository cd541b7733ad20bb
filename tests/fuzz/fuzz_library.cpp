// SPDX-License-Identifier: GPL-3.0-or-later
// The library reader and append: whatever the file held, listing it reads within it;
// an append to a library adds exactly one record and leaves every earlier one byte for
// byte, and a file that is no library is left as it was.
#include <cstring>

#include "library/fileio.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = scratchPath("library.syl");
    if (!writeWhole(path, data, size))
        return 0;
    TFileIO io(path);
    const int32_t count = io.countRecords();
    FUZZ_CHECK(
        count ==
        (size < libraryMagicSize ? 0 : static_cast<int32_t>((size - libraryMagicSize) / libraryRecordSize)));
    FUZZ_CHECK(io.openLibrary());
    for (int32_t n = 0; n <= count; ++n) {
        const std::string name = io.readName(n);
        FUZZ_CHECK(name.size() == (n < count ? static_cast<size_t>(voiceNameLength) : 0u));
        const uint32_t mask = io.readCategories(n);
        if (n < count) {
            const uint8_t* r = data + libraryMagicSize + static_cast<size_t>(n) * libraryRecordSize;
            FUZZ_CHECK(mask == (r[0] | r[1] << 8 | r[2] << 16 | static_cast<uint32_t>(r[3]) << 24));
        } else {
            FUZZ_CHECK(mask == 0);
        }
    }
    io.closeFile();

    // Only a file that begins with the library header (or an empty one) is written
    // as a library, and only a sound record is loaded.
    const bool library =
        size == 0 || (size >= libraryMagicSize && std::memcmp(data, "TORVA", libraryMagicSize) == 0);
    // The voice appended is the last record's when it loads, as the editor would hold it.
    Voice voice = resetOne();
    if (count > 0) {
        const uint8_t* last = data + libraryMagicSize + static_cast<size_t>(count - 1) * libraryRecordSize;
        VoiceDump dump;
        const bool loaded = io.readDump(count - 1, dump.data());
        FUZZ_CHECK(loaded == (library && !*checkVoiceDump(last + 4)));
        if (loaded)
            decodeVoice(dump.data(), voice);
    }
    const uint32_t mask = size >= 4 ? static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16) : 0;
    FUZZ_CHECK(io.appendRecord(mask, encodeVoice(voice)) == library);

    const std::vector<uint8_t> after = readWhole(path);
    if (!library) {
        FUZZ_CHECK(after.size() == size && std::memcmp(after.data(), data, size) == 0);
        return 0;
    }
    FUZZ_CHECK(io.countRecords() == count + 1);
    const size_t kept = libraryMagicSize + static_cast<size_t>(count) * libraryRecordSize;
    FUZZ_CHECK(after.size() >= kept + libraryRecordSize);
    if (count > 0)
        FUZZ_CHECK(std::memcmp(after.data(), data, kept) == 0);
    else
        FUZZ_CHECK(std::memcmp(after.data(), "TORVA", libraryMagicSize) == 0);
    const uint8_t* added = after.data() + kept;
    const uint32_t stored = added[0] | added[1] << 8 | added[2] << 16 | static_cast<uint32_t>(added[3]) << 24;
    FUZZ_CHECK(stored == (mask & 0xFFFF));
    FUZZ_CHECK(std::memcmp(added + 4, encodedDump(voice).data(), dumpSize) == 0);
    return 0;
}
