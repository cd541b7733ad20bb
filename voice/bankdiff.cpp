// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice/bankdiff.h"

#include <cstdio>
#include <cstring>

namespace {

// Where slot s's record lies inside a well-framed bank message, and its block's payload.
size_t recordOffset(int slot)
{
    const int block = slot / bankVoicesPerBlock;
    return bankBlockOffset(block) + 2 + (block == 0 ? 10 : 0) +
           static_cast<size_t>(slot % bankVoicesPerBlock) * bankRecordSize;
}

std::string joinItems(const std::vector<std::string>& items)
{
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += i + 1 == items.size() ? " and " : ", ";
        out += items[i];
    }
    return out;
}

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

}   // namespace

bool parseSlotText(const std::string& text, int& slot)
{
    if (text.size() != 3 || (text[0] != 'I' && text[0] != 'i') || text[1] < '0' || text[1] > '9' ||
        text[2] < '0' || text[2] > '9')
        return false;
    const int number = (text[1] - '0') * 10 + (text[2] - '0');
    if (number < 1 || number > bankVoices)
        return false;
    slot = number - 1;
    return true;
}

std::string slotText(int slot)
{
    char text[16];
    std::snprintf(text, sizeof text, "I%02d", slot + 1);
    return text;
}

std::string dumpNameText(const uint8_t* dump)
{
    std::string name;
    for (int i = 0; i < voiceNameLength; ++i) {
        const uint8_t c = dump[dumpNameOffset + i];
        name += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return trimmed(name);
}

void replaceBankSlot(std::vector<uint8_t>& message, int slot, const uint8_t* dump)
{
    const VoiceDump written = writtenDump(dump);
    const size_t at = recordOffset(slot);
    std::memcpy(message.data() + at, written.data() + bankRecordOffset, bankRecordSize);
    const int block = slot / bankVoicesPerBlock;
    const size_t payload = bankBlockOffset(block) + 2;
    const size_t size = static_cast<size_t>(block == 0 ? bankFirstPayload : bankVoicePayload);
    message[payload + size] = bankBlockChecksum(message.data() + payload, size);
}

BankDifference bankDifference(const Bank& a, const Bank& b)
{
    BankDifference d;
    for (int v = 0; v < bankVoices; ++v) {
        const VoiceDump& x = a.voices[static_cast<size_t>(v)];
        const VoiceDump& y = b.voices[static_cast<size_t>(v)];
        // The record is what the synthesiser keeps: the single dump's bytes 16..589.
        if (std::memcmp(x.data() + bankRecordOffset, y.data() + bankRecordOffset, bankRecordSize) != 0)
            d.voices.push_back(v);
    }
    for (int m = 0; m < multiCount; ++m)
        if (a.multis[static_cast<size_t>(m)] != b.multis[static_cast<size_t>(m)])
            d.multis.push_back(m);
    return d;
}

std::string differenceText(const BankDifference& d)
{
    std::vector<std::string> items;
    for (int s : d.voices)
        items.push_back(slotText(s));
    for (int m : d.multis)
        items.push_back("multi " + std::to_string(m + 1));
    return joinItems(items);
}

BankWriteCheck checkBankWrite(const Bank& before, const Bank& sent, const Bank& readBack, int storedSlot)
{
    BankWriteCheck check;
    check.notKept = bankDifference(sent, readBack);
    if (check.notKept.empty()) {
        check.outcome = BankWriteCheck::Outcome::kept;
        if (storedSlot >= 0)
            check.text = slotText(storedSlot) + " now holds " +
                         quoted(dumpNameText(sent.voices[static_cast<size_t>(storedSlot)].data())) +
                         "; the other 63 voices and the 16 multis are unchanged";
        else
            check.text = "The synthesiser holds the bank as sent: all 64 voices and the 16 multis";
        return check;
    }
    if (bankDifference(before, readBack).empty()) {
        check.outcome = BankWriteCheck::Outcome::keptNothing;
        check.text = "The synthesiser kept nothing: is its memory protect on?";
        return check;
    }
    check.outcome = BankWriteCheck::Outcome::differs;
    check.text = "The bank read back differs from what was sent in " + differenceText(check.notKept);
    return check;
}

std::vector<VoiceFieldDifference> voiceDifferences(const Voice& a, const Voice& b)
{
    std::vector<VoiceFieldDifference> out;
    for (const VoiceField& f : voiceFields()) {
        if (!f.travels)
            continue;
        if (f.type == FieldType::Name) {
            if (std::memcmp(a.name, b.name, voiceNameLength) != 0)
                out.push_back({&f, quoted(nameText(a.name, voiceNameLength)),
                               quoted(nameText(b.name, voiceNameLength))});
            continue;
        }
        const int x = fieldValue(a, f);
        const int y = fieldValue(b, f);
        if (x != y)
            out.push_back({&f, std::to_string(shownValue(f, x)), std::to_string(shownValue(f, y))});
    }
    return out;
}

std::string differenceLine(const VoiceFieldDifference& d)
{
    return d.field->path + " (" + d.field->caption + "): " + d.a + " -> " + d.b;
}

namespace {

// A multi field's text as the lines give it: a preset voice with its name.
std::string multiLineText(const MultiField& f, const MultiRecord& m, bool sy35)
{
    if (f.perPart && f.get == multiField(MultiFieldId::Voice).get)
        return multiVoiceLabel(f.get(m, f.part), sy35);
    return multiFieldText(f, m);
}

}   // namespace

std::vector<std::string> bankDifferenceLines(const Bank& a, const Bank& b, bool sy35)
{
    std::vector<std::string> lines;
    const BankDifference d = bankDifference(a, b);
    for (int s : d.voices) {
        const std::string x = quoted(dumpNameText(a.voices[static_cast<size_t>(s)].data()));
        const std::string y = quoted(dumpNameText(b.voices[static_cast<size_t>(s)].data()));
        lines.push_back("voice[" + slotText(s) + "]: " + (x == y ? x + " differs" : x + " -> " + y));
    }
    for (int m : d.multis) {
        const MultiRecord& x = a.multis[static_cast<size_t>(m)];
        const MultiRecord& y = b.multis[static_cast<size_t>(m)];
        const std::string prefix = "multi[" + std::to_string(m + 1) + "].";
        const size_t first = lines.size();
        for (const MultiField& f : multiFields()) {
            const std::string tx = multiFieldText(f, x);
            const std::string ty = multiFieldText(f, y);
            if (tx != ty)
                lines.push_back(prefix + f.path + ": " + multiLineText(f, x, sy35) + " -> " +
                                multiLineText(f, y, sy35));
        }
        if (lines.size() == first)
            lines.push_back("multi[" + std::to_string(m + 1) + "]: differs in bytes no field shows");
    }
    return lines;
}
