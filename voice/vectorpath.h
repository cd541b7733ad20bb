// SPDX-License-Identifier: GPL-3.0-or-later
// A vector table read as a path in time: each played step holds its A/B and C/D
// positions for its step value times the vector speed; the step marked "Repeat" loops
// back to the first step, the step marked "End" is the position the path comes to rest
// on. Paths are mixed on one time axis (each path's own length taken as 0..1, the
// lengths mixed as well), so that halfway between a slow sweep and a fast one is a
// medium sweep, and written back as at most 50 steps.
#pragma once

#include <vector>

#include "voice/voice.h"

constexpr int vectorRepeatMark = 254;   // "Repeat"
constexpr int vectorEndMark = 255;      // "End"
constexpr int vectorPositionTop = 62;

// How a path ends: at an "End" step (resting on its position), at a "Repeat" step
// (looping), or after the 50th step with no mark at all.
enum class PathEnd { End, Repeat, Open };

struct PathStep {
    double time;   // how long the step holds, in units of 10 ms
    double ab;     // 0..62
    double cd;     // 0..62
};

struct VectorPath {
    std::vector<PathStep> steps;   // the played steps, in order
    PathEnd end = PathEnd::End;
    double restAb = 31;   // the End step's position (End only)
    double restCd = 31;
};

// The path of a table whose steps last speed x 10 ms per step value (speed 1..16).
VectorPath readVectorPath(const VectorTable& table, int speed);

// Whether the path never leaves one position.
bool holdsOnePosition(const VectorPath& path);

// Where a path is at its end: End its resting position, Repeat its first step (where it
// loops to), Open its last step.
void pathFinalPosition(const VectorPath& path, double& ab, double& cd);

// The weighted mix of paths (weights summing to 1; a negative one pushes away), ending
// as `end` says. Positions are kept unrounded; writeVectorPath rounds and clamps them.
VectorPath mixVectorPaths(const std::vector<const VectorPath*>& paths, const std::vector<double>& weights,
                          PathEnd end);

// Writes a path as at most 50 steps of the given speed: neighbouring steps that round
// to one position join, the shortest differences are merged away until the steps fit,
// a step too long for one step value is split while steps remain. A path that holds
// one position is written as the codec reads such a table: every step at that
// position, the first marked "End". Steps after the mark repeat the mark's step.
void writeVectorPath(const VectorPath& path, int speed, VectorTable& table);
