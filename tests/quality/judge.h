// One scene run through the detector and scored, with the checks every scene shares.
#ifndef QV_QUALITY_JUDGE_H
#define QV_QUALITY_JUDGE_H

#include "tests/scenes/evaluation.h"

#include <gtest/gtest.h>

struct Judged {
    qvs::Scene scene;
    qvs::Run run;
    qvs::Score score;
};

// Builds the preset at its standard size, runs the detector and scores it.
Judged judge(qvs::SceneKind kind, uint32_t seed = 1);

// The detector was created, took the regions and kept every output invariant.
void expect_sound_run(const Judged &j);
// Every true event reported exactly once, near its frame, and nothing else reported.
void expect_exact_events(const Judged &j);

#endif
