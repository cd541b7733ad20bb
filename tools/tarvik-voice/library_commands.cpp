// SPDX-License-Identifier: GPL-3.0-or-later
// tarvik-voice library list|add|get|import|export|rename|delete|categories|bank|check:
// the voice library from scripts, through the same file operations the editor's main
// window uses, so that both show a library alike. Nothing is sent to the synthesiser here.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>

#include "files/filewrite.h"
#include "library/fileio.h"
#include "library/voiceimport.h"
#include "settings/settings.h"
#include "tools/tarvik-voice/commands.h"
#include "voice/bank.h"
#include "voice/bankdiff.h"
#include "voice/dumpcodec.h"
#include "voice/voice.h"

namespace {

// "usage: tarvik-voice library SUB ...", from the command table.
std::string usage(const char* sub)
{
    return usageOf("library", sub);
}

// The editor's dialogs become one line on standard error, naming the file at hand.
struct ToolEvents : TFileIOEvents {
    std::string file;
    void invalidFile() override
    {
        fail(file + ": not a file with a valid SY-22 or SY-35 System Exclusive dump");
    }
    void saveError(const std::string& reason) override { fail(file + ": Error saving file: " + reason); }
};

// A number of decimal digits, or 0x and hex digits, no larger than highest.
bool parseNumber(const std::string& text, unsigned long highest, unsigned long& value)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    if (text.size() == start || text.size() - start > 10)
        return false;
    unsigned long long v = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        v = v * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    }
    if (v > highest)
        return false;
    value = static_cast<unsigned long>(v);
    return true;
}

bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A file that is there but no library is never read or written as one.
bool refusedAsNoLibrary(const std::string& path)
{
    TFileIO io(path);
    std::string why;
    if (io.isLibrary(why))
        return false;
    fail(path + ": " + why);
    return true;
}

// A library to read must exist already: reading never makes one.
int libraryMissing(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return fail(path + ": no such library file");
    return fail(path + ": not a library file");
}

// "N<TAB>MASK<TAB>NAME", and "<TAB>damaged" for a record that cannot be loaded.
void printRecord(int32_t n, uint32_t mask, const char* name, bool damaged)
{
    std::printf("%d\t%08X\t%.8s%s\n", static_cast<int>(n), static_cast<unsigned>(mask), name,
                damaged ? "\tdamaged" : "");
}

// Splits "--library FILE" (and "--mask N" where allowed) from the other words.
bool takeOptions(const Args& args, bool maskAllowed, Args& words, std::string& library, std::string& mask,
                 std::string& error, bool* keepDuplicates = nullptr)
{
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnd) {
            words.push_back(a);
        } else if (a == "--") {
            optionsEnd = true;   // a voice name may begin with '-'
        } else if (keepDuplicates && a == "--keep-duplicates") {
            *keepDuplicates = true;
        } else if (a == "--library" || (maskAllowed && a == "--mask")) {
            if (i + 1 == args.size()) {
                error = a + " needs a value";
                return false;
            }
            (a == "--library" ? library : mask) = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            words.push_back(a);
        }
    }
    return true;
}

bool parseMask(const std::string& text, uint32_t& mask)
{
    unsigned long value = 0;
    if (!parseNumber(text, 0xFFFF, value)) {
        fail(text + ": a category mask is 0..65535 (0x0000..0xFFFF)");
        return false;
    }
    mask = static_cast<uint32_t>(value);
    return true;
}

// A record number in decimal (0x is refused: it would read as a mask).
bool parseRecordNumber(const std::string& text, int32_t& n)
{
    unsigned long value = 0;
    if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ||
        !parseNumber(text, std::numeric_limits<int32_t>::max(), value)) {
        fail(text + ": a record number is 0 or more");
        return false;
    }
    n = static_cast<int32_t>(value);
    return true;
}

// Whether the library of count records holds record n, written as text.
bool recordHeld(int32_t n, const std::string& text, int32_t count, const std::string& library)
{
    if (n < count)
        return true;
    fail(library + ": no record " + text + " (the library holds " + std::to_string(count) +
         (count == 1 ? " record)" : " records)"));
    return false;
}

// A record number the library holds, in decimal.
bool parseRecord(const std::string& text, int32_t count, const std::string& library, int32_t& n)
{
    return parseRecordNumber(text, n) && recordHeld(n, text, count, library);
}

// rename, delete and categories: the words after the options, and the library, which
// must exist already.
int housekeeping(const Args& args, const char* sub, size_t fewest, size_t most,
                 int (*run)(TFileIO&, const Args&, const std::string&))
{
    Args words;
    std::string path = libraryFileName, unused, error;
    if (!takeOptions(args, false, words, path, unused, error))
        return fail(error + "; " + usage(sub));
    if (words.size() < fewest || words.size() > most)
        return fail(usage(sub));
    if (!isRegularFile(path))
        return libraryMissing(path);
    if (refusedAsNoLibrary(path))
        return 1;
    TFileIO io(path);
    return run(io, words, path);
}

// The library that list and check read, which must exist already: the one word given,
// or the default file. False, the message given, when there are more words or no file.
bool takeLibraryArgument(const Args& args, const char* sub, std::string& path)
{
    if (args.size() > 1) {
        fail(usage(sub));
        return false;
    }
    path = args.empty() ? libraryFileName : args[0];
    if (isRegularFile(path))
        return true;
    libraryMissing(path);
    return false;
}

}   // namespace

bool outputRefused(const std::string& target, const std::string& library,
                   const std::vector<std::string>& reading)
{
    struct stat st {};
    if (stat(target.c_str(), &st) != 0)
        return false;
    auto same = [&st](const std::string& path) {
        struct stat other {};
        return stat(path.c_str(), &other) == 0 && other.st_dev == st.st_dev && other.st_ino == st.st_ino;
    };
    std::string why;
    if (same(library))
        fail(target + ": is the library itself; nothing was written");
    else if (std::any_of(reading.begin(), reading.end(), same))
        fail(target + ": is a file this command reads; nothing was written");
    else if (S_ISREG(st.st_mode) && st.st_size > 0 && TFileIO(target).isLibrary(why))
        fail(target + ": is a voice library; nothing was written");
    else
        return false;
    return true;
}

int libraryList(const Args& args)
{
    std::string path;
    if (!takeLibraryArgument(args, "list", path))
        return 1;
    TFileIO io(path);
    LibraryListing listing;
    io.refreshListing(listing);
    if (!listing.problem.empty())
        return fail(listing.problem);
    for (int32_t n = 0; n < listing.count(); ++n)
        printRecord(n, listing.masks[static_cast<size_t>(n)], listing.name(n), listing.isDamaged(n));
    if (std::fflush(stdout) != 0)
        return fail("cannot write the list");
    return 0;
}

namespace {

// What rewrites killed before their rename left beside the library: listed, or with
// clean removed where no program has them open.
bool reportTemporaries(TFileIO& io, bool clean)
{
    std::vector<std::string> removed;
    if (clean && !io.removeTemporaries(removed)) {
        fail(io.lastError);
        return false;
    }
    for (const std::string& t : removed)
        std::printf("removed left-over temporary file %s\n", t.c_str());
    for (const std::string& t : io.temporaries()) {
        struct stat st {};
        stat(t.c_str(), &st);
        std::printf("left-over temporary file %s (%lld bytes)%s\n", t.c_str(),
                    static_cast<long long>(st.st_size),
                    clean ? ": a program has it open" : "; library check --clean removes it");
    }
    return true;
}

}   // namespace

int libraryCheck(const Args& args)
{
    Args rest;
    const bool clean = std::find(args.begin(), args.end(), "--clean") != args.end();
    std::copy_if(args.begin(), args.end(), std::back_inserter(rest),
                 [](const std::string& a) { return a != "--clean"; });
    std::string path;
    if (!takeLibraryArgument(rest, "check", path))
        return 1;
    TFileIO io(path);
    const LibraryCheck c = io.checkLibrary();
    if (!c.problem.empty())
        return fail(c.problem);
    if (!reportTemporaries(io, clean))
        return 1;
    for (const LibraryCheck::Damage& d : c.damaged)
        std::printf("record %d: damaged (%s)\n", static_cast<int>(d.record), d.reason.c_str());
    const int64_t more = c.damagedCount - static_cast<int64_t>(c.damaged.size());
    if (more > 0)
        std::printf("and %lld more damaged records\n", static_cast<long long>(more));
    if (c.misalignedFrom >= 0)
        std::printf("records from %d on are out of step: a voice begins at byte %lld, %lld bytes past a "
                    "record's place (bytes were inserted or lost before it)\n",
                    static_cast<int>(c.misalignedFrom), static_cast<long long>(c.misalignedAt),
                    static_cast<long long>(c.shift));
    if (c.tailBytes > 0)
        std::printf("a part-record of %lld bytes at the end is not counted\n",
                    static_cast<long long>(c.tailBytes));
    const bool sound = c.damagedCount == 0 && c.misalignedFrom < 0 && c.tailBytes == 0;
    std::printf("%s: %d records, %lld damaged%s\n", path.c_str(), static_cast<int>(c.records),
                static_cast<long long>(c.damagedCount), sound ? ", sound" : "");
    if (std::fflush(stdout) != 0)
        return fail("cannot write the report");
    return sound ? 0 : 1;
}

int libraryAdd(const Args& args)
{
    Args words;
    std::string path = libraryFileName, maskText = "0", error;
    if (!takeOptions(args, true, words, path, maskText, error))
        return fail(error + "; " + usage("add"));
    if (words.size() != 1)
        return fail(usage("add"));
    unsigned long mask = 0;
    if (!parseNumber(maskText, 0xFFFF, mask))
        return fail("--mask " + maskText + ": a category mask is 0..65535 (0x0000..0xFFFF)");

    ToolEvents events;
    TFileIO io(path);
    io.events = &events;
    events.file = words[0];
    const std::optional<VoiceDump> file = io.loadVoiceFile(words[0]);
    if (!file)
        return 1;
    // Stored as the editor stores a voice it loaded: decoded and encoded afresh.
    const Voice voice = decodedVoice(file->data());
    events.file = path;
    if (!io.appendRecord(static_cast<uint32_t>(mask), encodeVoice(voice)))
        return 1;
    // The record written, as written: another program may add or delete records
    // the moment the lock is let go.
    char name[voiceNameLength];
    for (int i = 0; i < voiceNameLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(voice.name[i]);
        name[i] = c >= 0x20 && c < 0x80 ? static_cast<char>(c) : ' ';
    }
    printRecord(io.lastAppended, static_cast<uint32_t>(mask), name, false);
    return 0;
}

int libraryGet(const Args& args)
{
    Args words;
    std::string path = libraryFileName, unused, error;
    if (!takeOptions(args, false, words, path, unused, error))
        return fail(error + "; " + usage("get"));
    if (words.size() != 2)
        return fail(usage("get"));
    int32_t n = 0;
    if (!parseRecordNumber(words[0], n))
        return 1;
    if (!isRegularFile(path))
        return libraryMissing(path);
    if (refusedAsNoLibrary(path) || outputRefused(words[1], path))
        return 1;

    ToolEvents events;
    events.file = path;
    TFileIO io(path);
    io.events = &events;
    if (!recordHeld(n, words[0], io.countRecords(), path))
        return 1;
    VoiceDump record;
    if (!io.readDump(n, record.data()))
        return fail(io.lastError);
    events.file = words[1];
    return io.saveVoiceFile(words[1], encodeVoice(decodedVoice(record.data()))) ? 0 : 1;
}

int libraryImport(const Args& arguments)
{
    Args words, args = arguments;
    std::string path = libraryFileName, maskText = "0", error;
    bool keep = false;
    VoiceModel model = VoiceModel::sy22;
    if (!takeModelOption(args, model, error) || !takeOptions(args, true, words, path, maskText, error, &keep))
        return fail(error + "; " + usage("import"));
    uint32_t mask = 0;
    if (words.empty())
        return fail(usage("import"));
    if (!parseMask(maskText, mask))
        return 1;
    TFileIO io(path);
    const ImportSummary s = importVoiceFiles(io, words, mask, keep, {}, model);
    std::printf("%s\n", s.line().c_str());
    std::fflush(stdout);
    for (const std::string& note : s.notes)
        std::fprintf(stderr, "%s\n", note.c_str());
    if (s.noteCount > static_cast<int64_t>(s.notes.size()))
        std::fprintf(stderr, "and %lld more notes\n",
                     static_cast<long long>(s.noteCount - static_cast<int64_t>(s.notes.size())));
    for (const std::string& reason : s.reasons)
        fail(reason);
    if (!s.moreLine().empty())
        fail(s.moreLine());
    if (s.writeFailed)
        fail(io.lastError);
    return s.filesRead > 0 && !s.writeFailed ? 0 : 1;
}

int libraryExport(const Args& args)
{
    Args words;
    std::string path = libraryFileName, maskText = "0", error;
    if (!takeOptions(args, true, words, path, maskText, error))
        return fail(error + "; " + usage("export"));
    if (words.size() != 1)
        return fail(usage("export"));
    uint32_t mask = 0;
    if (!parseMask(maskText, mask))
        return 1;
    if (!isRegularFile(path))
        return libraryMissing(path);
    TFileIO io(path);
    LibraryListing listing;
    io.refreshListing(listing);
    if (!listing.problem.empty())
        return fail(listing.problem);
    if (!io.exportRecords(io.recordsWithMask(mask), words[0]))
        return fail(io.lastError);
    if (io.skippedDamaged > 0)
        fail("left out " + std::to_string(io.skippedDamaged) + " damaged " +
             (io.skippedDamaged == 1 ? "record" : "records"));
    return 0;
}

int libraryRename(const Args& args)
{
    return housekeeping(args, "rename", 2, 2, [](TFileIO& io, const Args& w, const std::string& path) {
        int32_t n = 0;
        if (!parseRecord(w[0], io.countRecords(), path, n))
            return 1;
        if (!TFileIO::validRecordName(w[1]))
            return fail(w[1] + ": a voice name is up to 8 characters from space to ~");
        return io.renameRecord(n, w[1]) ? 0 : fail(io.lastError);
    });
}

int libraryDelete(const Args& args)
{
    return housekeeping(args, "delete", 1, std::numeric_limits<size_t>::max(),
                        [](TFileIO& io, const Args& w, const std::string& path) {
                            std::vector<int32_t> records;
                            const int32_t count = io.countRecords();
                            for (const std::string& word : w) {
                                int32_t n = 0;
                                if (!parseRecord(word, count, path, n))
                                    return 1;
                                records.push_back(n);
                            }
                            return io.deleteRecords(records) ? 0 : fail(io.lastError);
                        });
}

int libraryCategories(const Args& args)
{
    return housekeeping(args, "categories", 2, 2, [](TFileIO& io, const Args& w, const std::string& path) {
        int32_t n = 0;
        uint32_t mask = 0;
        if (!parseRecord(w[0], io.countRecords(), path, n) || !parseMask(w[1], mask))
            return 1;
        return io.setRecordCategories(n, mask) ? 0 : fail(io.lastError);
    });
}

// A bank of 64 library entries in slot order I01..I64, with the multis of a bank the
// synthesiser sent (its multi block copied as it is) or 16 initial ones.
int libraryBank(const Args& args)
{
    Args words;
    std::string path = libraryFileName, backup;
    bool initialMultis = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--library" || a == "--multis") {
            if (i + 1 == args.size())
                return fail(a + " needs a value; " + usage("bank"));
            (a == "--library" ? path : backup) = args[++i];
        } else if (a == "--initial-multis") {
            initialMultis = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a + "; " + usage("bank"));
        } else {
            words.push_back(a);
        }
    }
    if (initialMultis == !backup.empty())
        return fail("give either --multis BACKUP.SYX or --initial-multis; " + usage("bank"));
    if (words.size() != 1 + bankVoices)
        return fail("a bank takes 64 record numbers (slots I01..I64), " +
                    std::to_string(words.size() - (words.empty() ? 0 : 1)) + " given; " + usage("bank"));
    const std::string& target = words[0];
    if (!isRegularFile(path))
        return libraryMissing(path);
    if (outputRefused(target, path, backup.empty() ? Args{} : Args{backup}))
        return 1;
    std::vector<int32_t> records;
    for (int v = 0; v < bankVoices; ++v) {
        int32_t n = 0;
        if (!parseRecordNumber(words[static_cast<size_t>(v) + 1], n))
            return 1;
        records.push_back(n);
    }
    // The bank file is held from here to the rename, as bank set holds it.
    TFileLock lock;
    if (!lock.lock(target))
        return fail(lock.error);

    Bank bank = initialBank();
    std::vector<uint8_t> backupData;
    int channel = 0;
    if (!backup.empty()) {
        std::string error;
        if (!readBankFile(backup, backupData, bank, error))
            return fail(error);
        channel = backupData[2] & 0x0F;
    }
    // All 64 under one lock of the library: no change to it comes between them.
    TFileIO io(path);
    std::vector<VoiceDump> dumps;
    if (!io.readDumps(records, dumps))
        return fail(io.lastError + "; nothing was written");
    for (int v = 0; v < bankVoices; ++v)
        bank.voices[static_cast<size_t>(v)] = writtenDump(dumps[static_cast<size_t>(v)].data());
    std::vector<uint8_t> message = encodeBankDump(bank, channel);
    if (!backupData.empty()) {
        const size_t block = bankBlockOffset(bankVoiceBlocks);
        std::memcpy(message.data() + block, backupData.data() + block, message.size() - block);
    }
    TSafeFile out;
    if (!out.open(target) || !out.write(message.data(), message.size()) || !out.commit())
        return fail(out.error);
    return 0;
}

namespace {

// One side of a diff: a voice (a single-dump file or lib:N) or a bank file.
struct DiffSide {
    bool isBank = false;
    Voice voice{};
    Bank bank{};
};

// A far larger file than a bank is no side of a diff.
constexpr std::uintmax_t largestDiffFile = 1024 * 1024;

bool readLibrarySide(const std::string& word, const std::string& path, DiffSide& side)
{
    int32_t n = 0;
    if (!parseRecordNumber(word.substr(4), n))
        return false;
    if (!isRegularFile(path)) {
        libraryMissing(path);
        return false;
    }
    if (refusedAsNoLibrary(path))
        return false;
    ToolEvents events;
    events.file = path;
    TFileIO io(path);
    io.events = &events;
    if (!recordHeld(n, word.substr(4), io.countRecords(), path))
        return false;
    VoiceDump record;
    if (!io.readDump(n, record.data())) {
        fail(io.lastError);
        return false;
    }
    side.voice = decodedVoice(record.data());
    return true;
}

bool readDiffSide(const std::string& word, const std::string& library, DiffSide& side)
{
    if (word.rfind("lib:", 0) == 0)
        return readLibrarySide(word, library, side);
    std::vector<uint8_t> data;
    std::string error;
    struct stat st {};
    if (stat(word.c_str(), &st) == 0 && static_cast<std::uintmax_t>(st.st_size) > largestDiffFile) {
        fail(word + ": neither a voice dump nor a bank dump");
        return false;
    }
    if (!readFile(word, data, error)) {
        fail(error);
        return false;
    }
    if (hasBankHead(data.data(), data.size())) {
        side.isBank = true;
        if (parseBankDump(data.data(), data.size(), side.bank, error))
            return true;
        fail(word + ": " + error);
        return false;
    }
    const long at = findVoiceDump(data.data(), data.size());
    const char* problem = at < 0 ? "neither a voice dump nor a bank dump" : checkVoiceDump(data.data() + at);
    if (*problem) {
        fail(word + ": " + problem);
        return false;
    }
    side.voice = decodedVoice(data.data() + at);
    return true;
}

}   // namespace

int cmdDiff(const Args& args)
{
    // 0 alike, 1 different, 2 bad input.
    Args words;
    std::string path = libraryFileName, unused, error;
    if (!takeOptions(args, false, words, path, unused, error) || words.size() != 2) {
        fail(error.empty() ? usageOf("diff") : error + "; " + usageOf("diff"));
        return 2;
    }
    DiffSide a, b;
    if (!readDiffSide(words[0], path, a) || !readDiffSide(words[1], path, b))
        return 2;
    if (a.isBank != b.isBank) {
        fail("one is a voice, the other a bank: a voice is compared with a voice, a bank with a bank");
        return 2;
    }
    std::vector<std::string> lines;
    if (a.isBank)
        lines = bankDifferenceLines(a.bank, b.bank, TSettings(settingsFileName).model == 1);
    else
        for (const VoiceFieldDifference& d : voiceDifferences(a.voice, b.voice))
            lines.push_back(differenceLine(d));
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        fail("cannot write the lines");
        return 2;
    }
    return lines.empty() ? 0 : 1;
}
