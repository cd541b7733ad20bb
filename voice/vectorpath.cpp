// SPDX-License-Identifier: GPL-3.0-or-later
#include "voice/vectorpath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int longestStep = 254;   // ticks of the step value 253, shown "254"

int clampInt(int v, int lo, int hi)
{
    return std::min(std::max(v, lo), hi);
}

// Rounds half away from zero the same way on every platform.
int roundPosition(double x)
{
    return clampInt(static_cast<int>(std::floor(x + 0.5)), 0, vectorPositionTop);
}

struct Written {
    long ticks;
    int ab;
    int cd;
};

bool samePlace(const Written& a, const Written& b)
{
    return a.ab == b.ab && a.cd == b.cd;
}

void joinSamePlaces(std::vector<Written>& steps)
{
    std::vector<Written> out;
    for (const Written& s : steps) {
        if (!out.empty() && samePlace(out.back(), s))
            out.back().ticks += s.ticks;
        else
            out.push_back(s);
    }
    steps.swap(out);
}

void writeOnePosition(int ab, int cd, VectorTable& table)
{
    for (int s = 0; s < vectorSteps; ++s) {
        table.repeats[s] = vectorEndMark;
        table.abPosition[s] = static_cast<uint8_t>(ab);
        table.cdPosition[s] = static_cast<uint8_t>(cd);
    }
}

}   // namespace

VectorPath readVectorPath(const VectorTable& table, int speed)
{
    speed = clampInt(speed, 1, 16);
    VectorPath path;
    path.end = PathEnd::Open;
    for (int s = 0; s < vectorSteps; ++s) {
        const int value = clampInt(table.repeats[s], 0, vectorEndMark);
        const double ab = clampInt(table.abPosition[s], 0, vectorPositionTop);
        const double cd = clampInt(table.cdPosition[s], 0, vectorPositionTop);
        if (value == vectorRepeatMark) {
            path.end = PathEnd::Repeat;
            // A loop of no steps at all rests on the first step's position.
            if (path.steps.empty()) {
                path.end = PathEnd::End;
                path.restAb = ab;
                path.restCd = cd;
            }
            return path;
        }
        if (value == vectorEndMark) {
            path.end = PathEnd::End;
            path.restAb = ab;
            path.restCd = cd;
            return path;
        }
        path.steps.push_back({static_cast<double>((value + 1) * speed), ab, cd});
    }
    return path;
}

void pathFinalPosition(const VectorPath& path, double& ab, double& cd)
{
    if (path.steps.empty() || path.end == PathEnd::End) {
        ab = path.restAb;
        cd = path.restCd;
    } else {
        const PathStep& s = path.end == PathEnd::Repeat ? path.steps.front() : path.steps.back();
        ab = s.ab;
        cd = s.cd;
    }
}

bool holdsOnePosition(const VectorPath& path)
{
    double ab = path.restAb, cd = path.restCd;
    if (!path.steps.empty()) {
        ab = path.steps.front().ab;
        cd = path.steps.front().cd;
    }
    for (const PathStep& s : path.steps)
        if (s.ab != ab || s.cd != cd)
            return false;
    return path.end != PathEnd::End || (path.restAb == ab && path.restCd == cd);
}

VectorPath mixVectorPaths(const std::vector<const VectorPath*>& paths, const std::vector<double>& weights,
                          PathEnd end)
{
    const size_t n = std::min(paths.size(), weights.size());
    VectorPath mixed;
    mixed.end = end;
    mixed.restAb = mixed.restCd = 0;
    double total = 0;
    bool anyTime = false;
    std::vector<double> totals(n, 0.0);
    std::vector<double> cuts = {0.0, 1.0};
    for (size_t i = 0; i < n; ++i) {
        for (const PathStep& s : paths[i]->steps)
            totals[i] += s.time;
        total += weights[i] * totals[i];
        double ab = 0, cd = 0;
        pathFinalPosition(*paths[i], ab, cd);
        mixed.restAb += weights[i] * ab;
        mixed.restCd += weights[i] * cd;
        if (totals[i] <= 0)
            continue;
        anyTime = true;
        // Each path's own length is the time axis 0..1: its step boundaries are the cuts.
        double at = 0;
        for (size_t k = 0; k + 1 < paths[i]->steps.size(); ++k) {
            at += paths[i]->steps[k].time;
            cuts.push_back(at / totals[i]);
        }
    }
    if (!anyTime) {
        mixed.end = PathEnd::End;
        return mixed;
    }
    std::sort(cuts.begin(), cuts.end());
    // A mix pushed away from a longer path keeps a length of its own.
    total = std::max(total, 1.0);
    std::vector<size_t> at(n, 0);
    std::vector<double> reached(n, 0.0);
    for (size_t c = 0; c + 1 < cuts.size(); ++c) {
        const double from = cuts[c], to = cuts[c + 1];
        if (to - from < 1e-9)
            continue;
        const double middle = (from + to) / 2;
        PathStep step{(to - from) * total, 0, 0};
        for (size_t i = 0; i < n; ++i) {
            const VectorPath& p = *paths[i];
            double ab = p.restAb, cd = p.restCd;
            if (totals[i] > 0) {
                const double when = middle * totals[i];
                while (at[i] + 1 < p.steps.size() && reached[i] + p.steps[at[i]].time <= when) {
                    reached[i] += p.steps[at[i]].time;
                    ++at[i];
                }
                ab = p.steps[at[i]].ab;
                cd = p.steps[at[i]].cd;
            }
            step.ab += weights[i] * ab;
            step.cd += weights[i] * cd;
        }
        mixed.steps.push_back(step);
    }
    return mixed;
}

void writeVectorPath(const VectorPath& path, int speed, VectorTable& table)
{
    speed = clampInt(speed, 1, 16);
    const int restAb = roundPosition(path.restAb), restCd = roundPosition(path.restCd);
    std::vector<Written> steps;
    // Step values by the running sum, so that rounding does not add up along the path;
    // a step that rounds to no time at all gives its time to the next.
    double sum = 0;
    long written = 0;
    for (const PathStep& s : path.steps) {
        sum += std::max(s.time, 0.0) / speed;
        const long upTo = static_cast<long>(std::floor(sum + 0.5));
        if (upTo > written) {
            steps.push_back({upTo - written, roundPosition(s.ab), roundPosition(s.cd)});
            written = upTo;
        }
    }
    if (steps.empty() && !path.steps.empty()) {
        const PathStep& s = path.steps.front();
        steps.push_back({1, roundPosition(s.ab), roundPosition(s.cd)});
    }
    joinSamePlaces(steps);

    PathEnd end = steps.empty() ? PathEnd::End : path.end;
    auto oneWrite = [&] {
        if (steps.empty())
            return true;
        for (const Written& s : steps)
            if (!samePlace(s, steps.front()))
                return false;
        return end != PathEnd::End || (steps.front().ab == restAb && steps.front().cd == restCd);
    };
    if (oneWrite()) {
        writeOnePosition(steps.empty() ? restAb : steps.front().ab, steps.empty() ? restCd : steps.front().cd,
                         table);
        return;
    }

    // Room for the mark: an open path may fill all 50 steps.
    const size_t room = end == PathEnd::Open ? vectorSteps : vectorSteps - 1;
    while (steps.size() > room) {
        size_t best = 0;
        double bestCost = -1;
        for (size_t i = 0; i + 1 < steps.size(); ++i) {
            const Written& a = steps[i];
            const Written& b = steps[i + 1];
            const double cost = static_cast<double>(std::min(a.ticks, b.ticks)) *
                                (std::abs(a.ab - b.ab) + std::abs(a.cd - b.cd));
            if (bestCost < 0 || cost < bestCost) {
                bestCost = cost;
                best = i;
            }
        }
        Written& a = steps[best];
        const Written& b = steps[best + 1];
        const double ticks = static_cast<double>(a.ticks + b.ticks);
        a.ab = roundPosition((a.ab * static_cast<double>(a.ticks) + b.ab * static_cast<double>(b.ticks)) /
                             ticks);
        a.cd = roundPosition((a.cd * static_cast<double>(a.ticks) + b.cd * static_cast<double>(b.ticks)) /
                             ticks);
        a.ticks += b.ticks;
        steps.erase(steps.begin() + static_cast<long>(best) + 1);
        joinSamePlaces(steps);
    }
    // A step longer than one step value holds is split while there is room, else cut.
    for (size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].ticks <= longestStep)
            continue;
        if (steps.size() < room) {
            Written rest = steps[i];
            rest.ticks -= longestStep;
            steps[i].ticks = longestStep;
            steps.insert(steps.begin() + static_cast<long>(i) + 1, rest);
        } else {
            steps[i].ticks = longestStep;
        }
    }
    if (oneWrite()) {
        writeOnePosition(steps.front().ab, steps.front().cd, table);
        return;
    }

    int s = 0;
    for (const Written& w : steps) {
        table.repeats[s] = static_cast<int32_t>(w.ticks - 1);
        table.abPosition[s] = static_cast<uint8_t>(w.ab);
        table.cdPosition[s] = static_cast<uint8_t>(w.cd);
        ++s;
    }
    if (s == vectorSteps)
        return;
    int markAb = restAb, markCd = restCd, mark = vectorEndMark;
    if (end == PathEnd::Repeat) {
        mark = vectorRepeatMark;
        markAb = steps.front().ab;
        markCd = steps.front().cd;
    } else if (end == PathEnd::Open) {
        markAb = steps.back().ab;
        markCd = steps.back().cd;
    }
    for (; s < vectorSteps; ++s) {
        table.repeats[s] = mark;
        table.abPosition[s] = static_cast<uint8_t>(markAb);
        table.cdPosition[s] = static_cast<uint8_t>(markCd);
    }
}
