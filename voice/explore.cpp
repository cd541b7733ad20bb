// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice/explore.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "voice/dumpcodec.h"
#include "voice/vectorpath.h"

namespace {

const char* const groupNames[fieldGroupCount] = {"common",      "effect",      "name",     "tuning",
                                                 "tone",        "lfo",         "envelope", "levelpan",
                                                 "levelvector", "detunevector"};

// A field with the stored range it may take: its own range inside the editors'.
struct Limit {
    const VoiceField* field;
    int lo;
    int hi;
    bool vectorStep;   // a step of a vector table: mixed as a path, not as a number
    bool peakStage;
};

bool startsWith(const std::string& s, const char* head)
{
    return s.rfind(head, 0) == 0;
}

const std::vector<Limit>& limits()
{
    static const std::vector<Limit> table = [] {
        std::vector<Limit> out;
        for (const VoiceField& f : voiceFields()) {
            const int a = storedValue(f, f.editMinimum);
            const int b = storedValue(f, f.editMaximum);
            const int lo = std::max(f.minimum, std::min(a, b));
            const int hi = std::min(f.maximum, std::max(a, b));
            const bool step = startsWith(f.path, "levelVector.") || startsWith(f.path, "detuneVector.");
            const bool peak = f.path.size() > 9 && f.path.compare(f.path.size() - 9, 9, "peakStage") == 0;
            out.push_back({&f, lo, hi, step, peak});
        }
        return out;
    }();
    return table;
}

int clampInt(int v, int lo, int hi)
{
    return std::min(std::max(v, lo), hi);
}

int roundHalfUp(double x)
{
    return static_cast<int>(std::floor(x + 0.5));
}

bool sameTable(const VectorTable& a, const VectorTable& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A table the codec reads as holding one position is marked ended at step 1.
void markStill(VectorTable& t)
{
    for (int s = 1; s < vectorSteps; ++s)
        if (t.cdPosition[s] != t.cdPosition[0] || t.abPosition[s] != t.abPosition[0])
            return;
    t.repeats[0] = vectorEndMark;
}

void copyField(Voice& to, const Voice& from, const VoiceField& f)
{
    if (f.type == FieldType::Name)
        std::memcpy(to.name, from.name, sizeof to.name);
    else
        setFieldValue(to, f, fieldValue(from, f));
}

void applyLocks(Voice& v, const Voice& base, const GroupLocks& locks)
{
    if (locks.none())
        return;
    for (const VoiceField& f : voiceFields())
        if (locks.locked(f.group))
            copyField(v, base, f);
}

bool sameLevels(const OperatorBlock& a, const OperatorBlock& b)
{
    return a.levelInitial == b.levelInitial && a.levelAttack == b.levelAttack &&
           a.levelDecay1 == b.levelDecay1 && a.levelDecay2 == b.levelDecay2;
}

// A block keeps the peak stage of a source block with the same levels, else it is
// computed from its levels afresh.
void fixPeakStages(Voice& v, const std::vector<const Voice*>& sources)
{
    for (int e = 0; e < 4; ++e) {
        for (bool carrier : {true, false}) {
            OperatorBlock& block = carrier ? v.element[e].carrier : v.element[e].modulator;
            bool kept = false;
            for (const Voice* s : sources) {
                const OperatorBlock& other = carrier ? s->element[e].carrier : s->element[e].modulator;
                if (sameLevels(block, other)) {
                    block.peakStage = other.peakStage;
                    kept = true;
                    break;
                }
            }
            if (!kept)
                updatePeakStage(block);
        }
    }
}

VectorTable& tableOf(Voice& v, bool level)
{
    return level ? v.levelVector : v.detuneVector;
}
const VectorTable& tableOf(const Voice& v, bool level)
{
    return level ? v.levelVector : v.detuneVector;
}
int speedOf(const Voice& v, bool level)
{
    return level ? v.levelVectorSpeed : v.detuneVectorSpeed;
}

// The weighted mix of voices already inside their ranges; choices, the name and the
// vectors' marks from voice `nearest`, locked groups from voice 0.
Voice mixVoices(const std::vector<Voice>& parents, const std::vector<double>& weights, size_t nearest,
                const GroupLocks& locks)
{
    for (size_t i = 0; i < parents.size(); ++i) {
        bool only = weights[i] == 1.0;
        for (size_t j = 0; j < parents.size() && only; ++j)
            only = j == i || weights[j] == 0.0;
        if (only) {
            Voice v = parents[i];
            applyLocks(v, parents[0], locks);
            return v;
        }
    }
    Voice v = parents[nearest];
    for (const Limit& l : limits()) {
        const VoiceField& f = *l.field;
        if (f.kind != FieldKind::Number || l.vectorStep || f.type == FieldType::Name)
            continue;
        double shown = 0;
        for (size_t i = 0; i < parents.size(); ++i)
            shown += weights[i] * shownValue(f, fieldValue(parents[i], f));
        setFieldValue(v, f, clampInt(storedValue(f, roundHalfUp(shown)), l.lo, l.hi));
    }
    for (bool level : {true, false}) {
        if (locks.locked(level ? FieldGroup::LevelVector : FieldGroup::DetuneVector))
            continue;
        bool alike = true;
        for (size_t i = 0; i < parents.size() && alike; ++i)
            alike = weights[i] == 0.0 ||
                    (sameTable(tableOf(parents[i], level), tableOf(parents[nearest], level)) &&
                     speedOf(parents[i], level) == speedOf(parents[nearest], level));
        if (alike)
            continue;
        std::vector<VectorPath> paths;
        paths.reserve(parents.size());
        for (const Voice& p : parents)
            paths.push_back(readVectorPath(tableOf(p, level), speedOf(p, level)));
        std::vector<const VectorPath*> refs;
        for (const VectorPath& p : paths)
            refs.push_back(&p);
        bool still = true;
        for (size_t i = 0; i < paths.size(); ++i)
            still = still && (weights[i] == 0.0 || holdsOnePosition(paths[i]));
        const VectorPath mixed = mixVectorPaths(refs, weights, paths[nearest].end);
        VectorPath written = mixed;
        if (still) {
            // Paths that hold one position mix to one position.
            double ab = 0, cd = 0;
            pathFinalPosition(mixed, ab, cd);
            written.steps.clear();
            written.end = PathEnd::End;
            written.restAb = ab;
            written.restCd = cd;
        }
        writeVectorPath(written, speedOf(v, level), tableOf(v, level));
    }
    applyLocks(v, parents[0], locks);
    std::vector<const Voice*> sources;
    for (const Voice& p : parents)
        sources.push_back(&p);
    fixPeakStages(v, sources);
    return v;
}

bool inUnit(double x)
{
    return std::isfinite(x) && x >= 0.0 && x <= 1.0;
}

std::string fraction(const std::string& what, double x, double lo)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", x);
    return what + " " + text + " lies outside " + (lo < 0 ? "-1..1" : "0..1");
}

std::vector<Voice> clamped(std::initializer_list<const Voice*> voices)
{
    std::vector<Voice> out;
    for (const Voice* v : voices) {
        out.push_back(*v);
        clampToEditRanges(out.back());
    }
    return out;
}

// A small generator of our own, so that a seed breeds the same on every platform.
class Random {
public:
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 <= x < 1
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    // -1 < x < 1, most often near 0
    double triangle() { return unit() - unit(); }
    int below(int n) { return n <= 1 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n)); }

private:
    uint64_t state;
};

// The parts of a voice that breeding moves or hands on whole: the common fields, the
// effect, each element's tuning, tone, LFO, envelope and level/pan, each vector.
struct Unit {
    FieldGroup group;
    int element;
    std::vector<size_t> fields;   // indices into limits()
};

const std::vector<Unit>& units()
{
    static const std::vector<Unit> table = [] {
        std::vector<Unit> out;
        out.push_back({FieldGroup::Common, -1, {}});
        out.push_back({FieldGroup::Effect, -1, {}});
        for (int e = 0; e < 4; ++e)
            for (FieldGroup g : {FieldGroup::Tuning, FieldGroup::Tone, FieldGroup::LFO, FieldGroup::Envelope,
                                 FieldGroup::LevelPan})
                out.push_back({g, e, {}});
        out.push_back({FieldGroup::LevelVector, -1, {}});
        out.push_back({FieldGroup::DetuneVector, -1, {}});
        const std::vector<Limit>& all = limits();
        for (Unit& u : out)
            for (size_t i = 0; i < all.size(); ++i)
                if (all[i].field->group == u.group && all[i].field->element == u.element)
                    u.fields.push_back(i);
        return out;
    }();
    return table;
}

bool isVectorGroup(FieldGroup g)
{
    return g == FieldGroup::LevelVector || g == FieldGroup::DetuneVector;
}

void mutateVector(Voice& v, bool level, Random& random, double strength)
{
    VectorPath path = readVectorPath(tableOf(v, level), speedOf(v, level));
    switch (random.below(3)) {
    case 0: {   // the whole path moves across the plane
        const double ab = random.triangle() * strength * 31, cd = random.triangle() * strength * 31;
        for (PathStep& s : path.steps) {
            s.ab += ab;
            s.cd += cd;
        }
        path.restAb += ab;
        path.restCd += cd;
        break;
    }
    case 1: {   // it runs faster or slower
        const double factor = std::pow(2.0, random.triangle() * strength * 1.5);
        for (PathStep& s : path.steps)
            s.time *= factor;
        break;
    }
    default:   // each step wanders a little
        for (PathStep& s : path.steps) {
            s.ab += random.triangle() * strength * 16;
            s.cd += random.triangle() * strength * 16;
        }
        path.restAb += random.triangle() * strength * 16;
        path.restCd += random.triangle() * strength * 16;
        break;
    }
    writeVectorPath(path, speedOf(v, level), tableOf(v, level));
}

void mutateUnit(Voice& v, const Unit& unit, Random& random, double strength)
{
    if (isVectorGroup(unit.group)) {
        mutateVector(v, unit.group == FieldGroup::LevelVector, random, strength);
        return;
    }
    const std::vector<Limit>& all = limits();
    for (size_t i : unit.fields) {
        const Limit& l = all[i];
        const VoiceField& f = *l.field;
        if (!f.travels || l.peakStage || f.path == "controllerReserved" || l.lo >= l.hi)
            continue;
        if (f.kind == FieldKind::Number) {
            if (random.unit() >= 0.5)
                continue;
            const double span = l.hi - l.lo;
            const int shown =
                shownValue(f, fieldValue(v, f)) + roundHalfUp(random.triangle() * strength * span);
            setFieldValue(v, f, clampInt(storedValue(f, shown), l.lo, l.hi));
        } else if (random.unit() < strength / 3) {
            setFieldValue(v, f, l.lo + random.below(l.hi - l.lo + 1));
        }
    }
}

// 1..5 mutations, more with more strength, each on a part the voice plays.
void mutateCandidate(Voice& v, Random& random, double strength, const GroupLocks& locks)
{
    if (strength <= 0)
        return;
    std::vector<const Unit*> open;
    for (const Unit& u : units())
        if (!locks.locked(u.group) && (u.element < 2 || v.voiceConfig == 1))
            open.push_back(&u);
    if (open.empty())
        return;
    const int count = 1 + random.below(1 + roundHalfUp(4 * strength));
    for (int k = 0; k < count; ++k)
        mutateUnit(v, *open[static_cast<size_t>(random.below(static_cast<int>(open.size())))], random,
                   strength);
}

// Each part whole from one favourite, the better ranked the likelier (3:2:1).
Voice crossover(const std::vector<Voice>& favourites, Random& random)
{
    Voice v = favourites[0];
    const int n = static_cast<int>(favourites.size());
    const int total = n * (n + 1) / 2;
    const std::vector<Limit>& all = limits();
    for (const Unit& u : units()) {
        int pick = random.below(total), from = 0;
        for (int weight = n; pick >= weight; --weight) {
            pick -= weight;
            ++from;
        }
        for (size_t i : u.fields)
            copyField(v, favourites[static_cast<size_t>(from)], *all[i].field);
    }
    return v;
}

void nameCandidate(Voice& v, const Voice& after, int number)
{
    int length = 6;
    while (length > 0 && after.name[length - 1] == ' ')
        --length;
    char name[voiceNameLength + 1];
    std::memset(name, ' ', voiceNameLength);
    std::memcpy(name, after.name, static_cast<size_t>(length));
    name[6] = static_cast<char>('0' + number / 10);
    name[7] = static_cast<char>('0' + number % 10);
    name[voiceNameLength] = 0;
    std::memcpy(v.name, name, sizeof v.name);
}

}   // namespace

GroupLocks::GroupLocks(std::initializer_list<FieldGroup> groups)
{
    for (FieldGroup g : groups)
        lock(g);
}

GroupLocks breedDefaultLocks()
{
    return GroupLocks{FieldGroup::Tuning};
}

GroupLocks blendDefaultLocks()
{
    return GroupLocks{};
}

const char* fieldGroupName(FieldGroup g)
{
    const auto i = static_cast<size_t>(g);
    return i < fieldGroupCount ? groupNames[i] : "";
}

const char* fieldGroupCaption(FieldGroup g)
{
    static const char* const captions[fieldGroupCount] = {
        "Common", "Effect",   "Name",        "Tuning",       "Tone",
        "LFO",    "Envelope", "Level & pan", "Level vector", "Detune vector"};
    const auto i = static_cast<size_t>(g);
    return i < fieldGroupCount ? captions[i] : "";
}

std::string fieldGroupNames()
{
    std::string out;
    for (const char* n : groupNames) {
        if (!out.empty())
            out += ' ';
        out += n;
    }
    return out;
}

std::string parseFieldGroup(const std::string& name, FieldGroup& group)
{
    for (int i = 0; i < fieldGroupCount; ++i) {
        if (name == groupNames[i]) {
            group = static_cast<FieldGroup>(i);
            return "";
        }
    }
    return "unknown group '" + name + "' (groups: " + fieldGroupNames() + ")";
}

void clampToEditRanges(Voice& v)
{
    for (const Limit& l : limits())
        if (l.field->type != FieldType::Name)
            setFieldValue(v, *l.field, clampInt(fieldValue(v, *l.field), l.lo, l.hi));
    v.controllerReserved &= 0x0C;
    v.name[voiceNameLength] = 0;
    markStill(v.levelVector);
    markStill(v.detuneVector);
}

std::string blendVoices(const Voice& a, const Voice& b, double t, const GroupLocks& locks, Voice& result)
{
    if (!inUnit(t))
        return fraction("the blend fraction", t, 0);
    result = mixVoices(clamped({&a, &b}), {1 - t, t}, t > 0.5 ? 1 : 0, locks);
    return "";
}

std::string morphVoices(const std::vector<Voice>& corners, double x, double y, const GroupLocks& locks,
                        Voice& result)
{
    if (corners.size() < 2 || corners.size() > 4)
        return "a morph takes 2 to 4 corners, not " + std::to_string(corners.size());
    if (!inUnit(x))
        return fraction("x", x, 0);
    if (!inUnit(y))
        return fraction("y", y, 0);
    std::vector<double> w;
    switch (corners.size()) {
    case 2: w = {1 - x, x}; break;
    case 3: w = {(1 - x) * (1 - y), x * (1 - y) + x * y / 2, (1 - x) * y + x * y / 2}; break;
    default: w = {(1 - x) * (1 - y), x * (1 - y), (1 - x) * y, x * y}; break;
    }
    size_t nearest = 0;
    for (size_t i = 1; i < w.size(); ++i)
        if (w[i] > w[nearest])
            nearest = i;
    std::vector<Voice> parents(corners);
    for (Voice& v : parents)
        clampToEditRanges(v);
    result = mixVoices(parents, w, nearest, locks);
    return "";
}

std::string nudgeVoice(const Voice& a, const Voice& target, double amount, const GroupLocks& locks,
                       Voice& result)
{
    if (!std::isfinite(amount) || amount < -1 || amount > 1)
        return fraction("the nudge amount", amount, -1);
    result = mixVoices(clamped({&a, &target}), {1 - amount, amount}, amount > 0.5 ? 1 : 0, locks);
    return "";
}

std::string breedVoices(const BreedInput& input, std::vector<Voice>& candidates)
{
    if (input.favourites.size() > 3)
        return "breeding takes 0 to 3 favourites, not " + std::to_string(input.favourites.size());
    if (!inUnit(input.strength))
        return fraction("the strength", input.strength, 0);
    Voice current = input.current;
    clampToEditRanges(current);
    std::vector<Voice> favourites = input.favourites;
    for (Voice& v : favourites)
        clampToEditRanges(v);
    std::optional<Voice> previous = input.previous;
    if (previous)
        clampToEditRanges(*previous);
    const Voice& first = favourites.empty() ? current : favourites[0];
    std::vector<const Voice*> sources = {&current};
    for (const Voice& v : favourites)
        sources.push_back(&v);
    if (previous)
        sources.push_back(&*previous);

    std::vector<Voice> out;
    out.reserve(breedCount);
    if (previous && !favourites.empty() && encodeVoice(*previous) != encodeVoice(first)) {
        const std::vector<Voice> pair = {first, *previous};
        for (double k : {0.25, 0.5, 1.0})
            out.push_back(mixVoices(pair, {1 + k, -k}, 0, GroupLocks{}));
    }
    for (int k = static_cast<int>(out.size()); k < breedCount; ++k) {
        Random random(static_cast<uint64_t>(input.seed) * 0x100000001B3ull +
                      static_cast<uint64_t>(k) * 7919u);
        if (favourites.size() < 2) {
            out.push_back(first);
        } else if (k % 2 == 0) {
            out.push_back(crossover(favourites, random));
        } else {
            // Weights leaning toward the better ranked.
            std::vector<double> w;
            double sum = 0;
            for (size_t i = 0; i < favourites.size(); ++i) {
                w.push_back((0.25 + random.unit()) * static_cast<double>(favourites.size() - i));
                sum += w.back();
            }
            size_t nearest = 0;
            for (size_t i = 0; i < w.size(); ++i) {
                w[i] /= sum;
                if (w[i] > w[nearest])
                    nearest = i;
            }
            out.push_back(mixVoices(favourites, w, nearest, GroupLocks{}));
        }
    }
    for (int k = 0; k < breedCount; ++k) {
        Voice& v = out[static_cast<size_t>(k)];
        Random random(static_cast<uint64_t>(input.seed) * 0x9E3779B1ull + static_cast<uint64_t>(k) + 1);
        mutateCandidate(v, random, input.strength, input.locks);
        applyLocks(v, current, input.locks);
        if (!input.locks.locked(FieldGroup::Name))
            nameCandidate(v, first, k + 1);
        fixPeakStages(v, sources);
        clampToEditRanges(v);
    }
    candidates = std::move(out);
    return "";
}
