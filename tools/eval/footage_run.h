// Runs a detector over a video file with one line region and collects its line events,
// numbering frames as qv_demo does.
#ifndef QV_EVAL_FOOTAGE_RUN_H
#define QV_EVAL_FOOTAGE_RUN_H

#include "detector/quorvane.h"
#include "tools/eval/line_crossings.h"

#include <string>
#include <vector>

namespace qvf {

enum class DetectorKind {
    Library,  // the detector library through its three calls, with the demo's configuration
    Mog2      // the OpenCV baseline in tools/eval/mog2_baseline.h
};

struct FootageRun {
    std::string error;  // empty when the run went through
    int frames = 0;     // frames processed
    std::vector<LineEvent> events;
};

// Like qv_demo: the clip's first frame only fixes the frame size; every later frame is
// processed and numbered from 0. The library gets grey made as the demo makes it; the
// baseline gets the colour frame, as a user of MOG2 would give it. With `start` > 0 the
// detector is started on that processed frame, as if the program had been started
// later; frames keep their numbers.
FootageRun run_footage(const std::string &path, const qv_region &line, DetectorKind kind, int start = 0);

}  // namespace qvf

#endif
