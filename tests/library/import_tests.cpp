// SPDX-License-Identifier: GPL-3.0-or-later
// Voices coming in from banks, files of many dumps and MIDI files; housekeeping that
// rewrites the library.
#include "tests/library/library_test_support.h"

#include "library/voiceimport.h"

namespace {

VoiceDump dumpOf(uint32_t seed)
{
    const Bytes b = encoded(seededVoice(seed));
    VoiceDump d;
    std::copy(b.begin(), b.end(), d.begin());
    return d;
}

std::vector<VoiceDump> sixtyFourVoices()
{
    std::vector<VoiceDump> voices;
    for (uint32_t i = 0; i < 64; ++i)
        voices.push_back(dumpOf(100 + i));
    return voices;
}

VoiceReadResult read(const Bytes& b)
{
    return readVoices(b.data(), b.size());
}

std::vector<std::string> reasons(const VoiceReadResult& r)
{
    std::vector<std::string> out;
    for (const VoiceRefusal& refusal : r.refusals)
        out.push_back(refusal.text());
    return out;
}

Bytes bytesOf(const VoiceDump& d)
{
    return Bytes(d.begin(), d.end());
}

// A variable-length quantity, as MIDI files write sizes and times.
void putQuantity(Bytes& b, size_t v)
{
    Bytes q = {static_cast<uint8_t>(v & 0x7F)};
    while (v >>= 7)
        q.insert(q.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
    b.insert(b.end(), q.begin(), q.end());
}

Bytes midiFile(const Bytes& track, size_t declaredLength = 0)
{
    Bytes f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k'};
    const size_t n = declaredLength ? declaredLength : track.size();
    for (int s = 24; s >= 0; s -= 8)
        f.push_back(static_cast<uint8_t>(n >> s));
    f.insert(f.end(), track.begin(), track.end());
    return f;
}

}   // namespace

TEST(VoiceImport, BankOfSixtyFourVoicesComesBackByteForByte)
{
    const std::vector<VoiceDump> voices = sixtyFourVoices();
    const Bytes bank = buildBankDump(voices, 5);
    ASSERT_EQ(bank.size(), bankExpectedSize);
    EXPECT_EQ(Bytes(bank.begin(), bank.begin() + 6), (Bytes{0xF0, 0x43, 0x05, 0x7E, 0x12, 0x02}));
    EXPECT_EQ(bank[4 + 2309], 0x11);
    EXPECT_EQ(bank[4 + 2309 + 1], 0x78);

    const VoiceReadResult r = read(bank);
    EXPECT_TRUE(r.refusals.empty()) << reasons(r)[0];
    ASSERT_EQ(r.voices.size(), 64u);
    for (size_t i = 0; i < 64; ++i)
        EXPECT_EQ(r.voices[i], voices[i]) << "voice " << i;

    const Bytes request = bankRequest(9);
    EXPECT_EQ(request,
              (Bytes{0xF0, 0x43, 0x29, 0x7E, 'P', 'K', ' ', ' ', '2', '2', '0', '3', 'V', 'M', 0xF7}));
}

TEST(VoiceImport, DamagedBankBlockIsRefusedAlone)
{
    const std::vector<VoiceDump> voices = sixtyFourVoices();
    Bytes bank = buildBankDump(voices);
    const size_t block5 = 4 + 2309 + 3 * 2299;
    bank[block5 + 100] ^= 0x01;
    VoiceReadResult r = read(bank);
    ASSERT_EQ(r.voices.size(), 60u);
    EXPECT_EQ(reasons(r), std::vector<std::string>{"bank at byte 0, block 5: bad checksum"});
    EXPECT_EQ(r.voices[16], voices[20]);

    // Cut short inside block 10 (a transfer that stopped): nine blocks come in.
    Bytes cut(bank.begin(), bank.begin() + static_cast<long>(block5 + 5 * 2299 + 50));
    r = read(cut);
    EXPECT_EQ(r.voices.size(), 32u);   // blocks 1..9 less block 5
    ASSERT_EQ(r.refusals.size(), 8u);
    EXPECT_EQ(r.refusals[1].text(), "bank at byte 0, block 10: truncated");
}

TEST(VoiceImport, SingleDumpsAmongJunkAndOtherMessages)
{
    Bytes file = {0x00, 0xF7, 0x12, 0xF0, 0x43, 0x10, 0x7E, 0x01, 0xF7};   // junk and a parameter change
    Bytes onChannel5 = bytesOf(dumpOf(1));
    onChannel5[2] = 0x04;
    file.insert(file.end(), onChannel5.begin(), onChannel5.end());
    Bytes badSum = bytesOf(dumpOf(2));
    badSum[300] ^= 0x02;
    file.insert(file.end(), badSum.begin(), badSum.end());
    const Bytes good = bytesOf(dumpOf(3));
    file.insert(file.end(), good.begin(), good.end());
    file.insert(file.end(), good.begin(), good.begin() + 400);   // a last one cut short

    const VoiceReadResult r = read(file);
    ASSERT_EQ(r.voices.size(), 2u);
    EXPECT_EQ(bytesOf(r.voices[0]), bytesOf(dumpOf(1)));   // byte 2 back to 0
    EXPECT_EQ(bytesOf(r.voices[1]), good);
    EXPECT_EQ(reasons(r), (std::vector<std::string>{"byte 601: bad checksum", "byte 1785: truncated"}));

    EXPECT_EQ(reasons(read(Bytes{1, 2, 3, 0xF0, 0xF7})), std::vector<std::string>{"not a voice file"});
    EXPECT_EQ(reasons(read(Bytes{})), std::vector<std::string>{"not a voice file"});
}

TEST(VoiceImport, MidiFileWithSplitSysex)
{
    const Bytes first = bytesOf(dumpOf(7)), second = bytesOf(dumpOf(8));
    Bytes track = {0x00, 0x90, 0x3C, 0x40, 0x10, 0x3E, 0x40,   // note on, then running status
                   0x00, 0xFF, 0x01, 0x03, 'a',  'b',  'c'};   // a text event
    // The first dump split: F0 event with the first 300 bytes, an F7 continuation with the rest.
    track.push_back(0x00);
    track.push_back(0xF0);
    putQuantity(track, 299);
    track.insert(track.end(), first.begin() + 1, first.begin() + 300);
    track.push_back(0x83);   // a delta time of two bytes
    track.push_back(0x00);
    track.push_back(0xF7);
    putQuantity(track, first.size() - 300);
    track.insert(track.end(), first.begin() + 300, first.end());
    track.insert(track.end(), {0x00, 0x80, 0x3C, 0x00});
    track.push_back(0x00);
    track.push_back(0xF0);
    putQuantity(track, second.size() - 1);
    track.insert(track.end(), second.begin() + 1, second.end());
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});

    VoiceReadResult r = read(midiFile(track));
    EXPECT_TRUE(r.refusals.empty()) << reasons(r)[0];
    ASSERT_EQ(r.voices.size(), 2u);
    EXPECT_EQ(bytesOf(r.voices[0]), first);
    EXPECT_EQ(bytesOf(r.voices[1]), second);

    // A track whose length runs past the file: what it holds comes in, calmly refused.
    r = read(midiFile(Bytes(track.begin(), track.end() - 10), track.size()));
    EXPECT_EQ(r.voices.size(), 1u);
    EXPECT_EQ(reasons(r), std::vector<std::string>{"track 1: malformed MIDI track"});
    // Data with no status to run on, and a header that lies about its size.
    r = read(midiFile(Bytes{0x00, 0x3C, 0x40}));
    EXPECT_EQ(reasons(r), std::vector<std::string>{"track 1: malformed MIDI track"});
    Bytes lying = midiFile(track);
    lying[4] = 0x7F;
    EXPECT_EQ(reasons(read(lying)), std::vector<std::string>{"malformed MIDI file"});
}

// Damaged copies of a bank and of a MIDI file: never a read outside the bytes (the
// sanitizer build watches), and every voice that comes out is a well-formed dump.
TEST(VoiceImport, DamagedFilesGiveOnlyWellFormedVoices)
{
    const Bytes bank = buildBankDump(sixtyFourVoices());
    Bytes track;
    for (int i = 0; i < 3; ++i) {
        const Bytes d = bytesOf(dumpOf(static_cast<uint32_t>(i)));
        track.insert(track.end(), {0x00, 0xF0});
        putQuantity(track, 200);
        track.insert(track.end(), d.begin() + 1, d.begin() + 201);
        track.insert(track.end(), {0x00, 0xF7});
        putQuantity(track, d.size() - 201);
        track.insert(track.end(), d.begin() + 201, d.end());
    }
    const Bytes midi = midiFile(track);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 300; ++round) {
        Bytes b = round % 2 ? bank : midi;
        for (int k = 0; k < 1 + round % 7; ++k)
            b[(next() >> 8) % b.size()] = static_cast<uint8_t>(next() >> 24);
        if (round % 3 == 0)
            b.resize((next() >> 8) % b.size());
        const VoiceReadResult r = read(b);
        for (const VoiceDump& d : r.voices)
            ASSERT_STREQ(checkVoiceDump(d.data()), "") << "round " << round;
        ASSERT_FALSE(r.voices.empty() && r.refusals.empty());
    }
}

TEST_F(LibraryTest, ImportSkipsDuplicatesUnlessAskedToKeepThem)
{
    writeBytes(io.libraryPath, libraryOf({record(3, seededVoice(1))}));
    VoiceDump again = dumpOf(1);
    again[2] = 0x07;   // the same voice recorded on another channel
    const std::vector<VoiceDump> dumps = {again, dumpOf(2), dumpOf(2)};

    ImportSummary s = io.appendDumps(dumps, 0x12, false);
    EXPECT_EQ(s.added, 1);
    EXPECT_EQ(s.duplicates, 2);
    const Bytes one = library();
    ASSERT_EQ(one.size(), 5u + 2 * 596);
    EXPECT_EQ(Bytes(one.begin() + 5 + 596, one.end()), record(0x12, seededVoice(2)));

    s = io.appendDumps(dumps, 0, true);
    EXPECT_EQ(s.added, 3);
    EXPECT_EQ(io.countRecords(), 5);
    ASSERT_TRUE(io.openLibrary());
    EXPECT_EQ(io.readName(0), std::string(seededVoice(1).name, voiceNameLength));
    EXPECT_EQ(io.readName(0), io.readName(2));
    io.closeFile();
    EXPECT_EQ(events.saveErrors, 0);
}

TEST_F(LibraryTest, CancelledImportKeepsWholeRecordsOnly)
{
    std::vector<VoiceDump> dumps;
    for (uint32_t i = 0; i < 200; ++i)
        dumps.push_back(dumpOf(i + 1));
    size_t calls = 0;
    const ImportSummary s = io.appendDumps(dumps, 1, false, [&](size_t done, size_t total) {
        EXPECT_EQ(total, 200u);
        ++calls;
        return done < 100;
    });
    EXPECT_TRUE(s.cancelled);
    EXPECT_EQ(s.added, 128);
    EXPECT_EQ(calls, 3u);   // before the first batch, after the first and after the second
    const Bytes file = library();
    EXPECT_EQ(file.size(), 5u + 128 * 596);
    EXPECT_EQ(Bytes(file.end() - 596, file.end()), record(1, seededVoice(128)));

    // A write that fails half-way keeps the batches written before it.
    std::filesystem::remove(io.libraryPath);
    {
        FileSizeLimit limit(5 + 100 * 596);
        ASSERT_TRUE(limit.active);
        const ImportSummary failed = io.appendDumps(dumps, 1, false);
        EXPECT_TRUE(failed.writeFailed);
        EXPECT_EQ(failed.added, 64);
    }
    EXPECT_EQ(library().size(), 5u + 64 * 596);
    EXPECT_EQ(events.saveErrors, 1);
    EXPECT_FALSE(io.lastError.empty());
}

TEST_F(LibraryTest, DeleteAndMoveKeepEveryOtherRecord)
{
    std::vector<Bytes> records;
    for (uint32_t i = 0; i < 6; ++i)
        records.push_back(record(i, seededVoice(i + 40)));
    writeBytes(io.libraryPath, libraryOf(records));

    ASSERT_TRUE(io.deleteRecords({4, 1, 4}));
    EXPECT_EQ(library(), libraryOf({records[0], records[2], records[3], records[5]}));
    ASSERT_TRUE(io.moveRecord(0, 2));
    EXPECT_EQ(library(), libraryOf({records[2], records[3], records[0], records[5]}));
    ASSERT_TRUE(io.moveRecord(3, 0));
    EXPECT_EQ(library(), libraryOf({records[5], records[2], records[3], records[0]}));
    EXPECT_FALSE(io.deleteRecords({4}));
    EXPECT_FALSE(io.moveRecord(0, 4));
    EXPECT_EQ(library(), libraryOf({records[5], records[2], records[3], records[0]}));
    EXPECT_EQ(events.saveErrors, 0);
    EXPECT_FALSE(std::filesystem::exists(io.libraryPath + ".new"));
}

TEST_F(LibraryTest, FailedRewriteLeavesTheLibraryAsItWas)
{
    std::vector<Bytes> records;
    for (uint32_t i = 0; i < 4; ++i)
        records.push_back(record(i, seededVoice(i + 60)));
    writeBytes(io.libraryPath, libraryOf(records));
    const Bytes before = library();

    // The disk fills while the new file is written: the reason reaches the user.
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.active);
        EXPECT_FALSE(io.deleteRecords({0}));
        EXPECT_FALSE(io.moveRecord(0, 3));
    }
    EXPECT_EQ(library(), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
              1)
        << "a new file was left behind";
    EXPECT_EQ(events.saveErrors, 2);
    EXPECT_EQ(events.lastReason, "File too large");
    EXPECT_NE(io.lastError.find("File too large"), std::string::npos) << io.lastError;

    // A folder where an older version put its new file stands in no one's way.
    std::filesystem::create_directory(io.libraryPath + ".new");
    EXPECT_TRUE(io.deleteRecords({0}));
    EXPECT_EQ(library(), libraryOf({records[1], records[2], records[3]}));
}

TEST_F(LibraryTest, RenameCategoriesAndExport)
{
    writeBytes(io.libraryPath, libraryOf({record(0x3, seededVoice(1)), record(0x1, seededVoice(2)),
                                          record(0x6, seededVoice(3))}));
    ASSERT_TRUE(io.renameRecord(1, "Str-1.a"));
    ASSERT_TRUE(io.openLibrary());
    EXPECT_EQ(io.readName(1), "Str-1.a ");
    uint8_t dump[dumpSize];
    ASSERT_TRUE(io.readDump(1, dump));
    EXPECT_STREQ(checkVoiceDump(dump), "");
    EXPECT_FALSE(io.renameRecord(1, "too long!"));
    EXPECT_FALSE(io.renameRecord(1, "tab\there"));
    EXPECT_FALSE(io.renameRecord(1, "back\\"));
    EXPECT_FALSE(io.renameRecord(1, "   "));
    EXPECT_FALSE(io.renameRecord(3, "absent"));

    ASSERT_TRUE(io.setRecordCategories(2, 0x10003));
    ASSERT_TRUE(io.openLibrary());
    EXPECT_EQ(io.readCategories(2), 0x3u);
    EXPECT_EQ(io.recordsWithMask(0x3), (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(io.recordsWithMask(0).size(), 3u);

    const std::string out = path("out.syx");
    ASSERT_TRUE(io.exportRecords(io.recordsWithMask(0x1), out));
    const VoiceReadResult r = readVoiceFile(out);
    ASSERT_EQ(r.voices.size(), 3u);
    EXPECT_EQ(bytesOf(r.voices[1]), Bytes(dump, dump + dumpSize));
    EXPECT_EQ(readBytes(out).size(), 3u * dumpSize);
    EXPECT_FALSE(io.exportRecords({0, 7}, out));
    const Bytes before = library();
    EXPECT_FALSE(io.exportRecords({0}, io.libraryPath));
    EXPECT_EQ(library(), before);
    EXPECT_EQ(readBytes(out).size(), 3u * dumpSize);
    EXPECT_EQ(events.saveErrors, 1);
}

TEST_F(LibraryTest, TG33SinglesAndBanksComeInConvertedBesideSyVoices)
{
    std::vector<TG33Record> records;
    for (uint32_t i = 0; i < 64; ++i)
        records.push_back(tg33RecordFromDump(dumpOf(300 + i).data()));
    Bytes bank = tg33BankDump(records);
    bank[4 + 2361 + 2351 + 2 + 50] ^= 1;   // block 3: bad checksum
    const Bytes single = tg33SingleDump(records[9]);
    Bytes multi = {0xF0, 0x43, 0x00, 0x7E, 0x01, 0x5A};
    multi.insert(multi.end(), tg33MultiHeaderText, tg33MultiHeaderText + 10);
    multi.resize(multi.size() + 209, 0);
    multi.push_back(0xF7);
    Bytes file = bytesOf(dumpOf(1));
    for (const Bytes* part : std::initializer_list<const Bytes*>{&bank, &multi, &single})
        file.insert(file.end(), part->begin(), part->end());
    writeBytes(path("mixed.syx"), file);

    const ImportSummary s = importVoiceFiles(io, {path("mixed.syx")}, 0, false);
    EXPECT_EQ(s.line(), "added 62 (61 converted from TG33), duplicates 0, refused 1");
    ASSERT_EQ(s.reasons.size(), 1u);
    EXPECT_EQ(s.reasons[0], path("mixed.syx") + ": TG33 bank at byte 592, block 3: bad checksum");
    const std::string multiNote = path("mixed.syx") + ": byte " + std::to_string(592 + bank.size()) +
                                  ": a TG33 multi, passed over (only TG33 voices are read)";
    EXPECT_NE(std::find(s.notes.begin(), s.notes.end(), multiNote), s.notes.end());
    // The converted voices are the SY voices the TG33 ones were made from.
    VoiceDump d;
    ASSERT_TRUE(io.readDump(1, d.data()));
    EXPECT_EQ(d, dumpOf(300));
    ASSERT_TRUE(io.readDump(9, d.data()));
    EXPECT_EQ(d, dumpOf(300 + 12));   // past the 4 voices of the refused block
    ASSERT_TRUE(io.readDump(61, d.data()));
    EXPECT_EQ(d, dumpOf(309));   // the single after the bank
}
