#include "tools/eval/footage_run.h"

#include "driver/event_line.h"
#include "driver/video_source.h"
#include "tests/scenes/evaluation.h"
#include "tools/eval/mog2_baseline.h"

#include <opencv2/imgproc.hpp>

#include <memory>

namespace qvf {
namespace {

Direction direction_of(const char *name)
{
    return std::string(name) == "positive_to_negative" ? Direction::PositiveToNegative
                                                       : Direction::NegativeToPositive;
}

// The library through qv_init, qv_init_region and qv_detect, configured as qv_demo does.
class LibraryRunner {
public:
    std::string start(cv::Mat &grey, const qv_region &line)
    {
        qv_init(&handle_, demo_detector_config(grey));
        if (handle_ == nullptr)
            return "the detector could not be created";
        qvs::keep_handle(handle_);
        line_ = line;
        if (qv_init_region(handle_, 1, &line_, 0) == 0)
            return "the detector rejected the region";
        return "";
    }

    void detect(cv::Mat &grey, int frame, std::vector<LineEvent> &events)
    {
        qv_detect(handle_, qv_image(grey.cols, grey.rows, 1, grey.data), &line_, result_.get());
        for (int i = 0; i < std::min(result_->count, QV_MAX_OBJECTS); ++i) {
            const qv_object &o = result_->objects[i];
            const char *direction = o.region_event[0] != 0 ? crossing_direction(line_, o) : nullptr;
            if (direction != nullptr) {
                const qv_point p = reference_point(o);
                events.push_back({frame, direction_of(direction), o.id, {p.x, p.y}});
            }
        }
    }

private:
    void *handle_ = nullptr;
    qv_region line_{};
    std::unique_ptr<qv_result> result_ = std::make_unique<qv_result>();
};

// Which way a baseline object went: the side its reference point is on now.
Direction side_now(const qv_region &line, cv::Point p)
{
    return line_side(line, {p.x, p.y}) < 0 ? Direction::PositiveToNegative : Direction::NegativeToPositive;
}

}  // namespace

FootageRun run_footage(const std::string &path, const qv_region &line, DetectorKind kind, int start)
{
    FootageRun run;
    VideoSource source;
    cv::Mat frame, grey;
    run.error = source.open_first(path, frame);
    if (!run.error.empty())
        return run;
    const cv::Size size = frame.size();
    grey.create(size, CV_8UC1);

    LibraryRunner library;
    std::unique_ptr<qvs::Mog2Baseline> baseline;
    if (kind == DetectorKind::Mog2) {
        qvs::Region region{line.kind, {{line.points[0].x, line.points[0].y}, {line.points[1].x, line.points[1].y}}};
        baseline = std::make_unique<qvs::Mog2Baseline>(size, std::vector<qvs::Region>{region});
    }
    while (source.read(frame)) {
        if (run.frames < start) {
            ++run.frames;
            continue;
        }
        if (frame.size() != size)
            cv::resize(frame, frame, size);
        if (kind == DetectorKind::Mog2) {
            for (const qvs::Reported &o : baseline->detect(frame))
                if (o.event[0] != 0)
                    run.events.push_back({run.frames, side_now(line, o.track_last), o.id, o.track_last});
        } else {
            // RGB2GRAY on a BGR frame, as the demo does.
            cv::cvtColor(frame, grey, cv::COLOR_RGB2GRAY);
            if (run.frames == start) {
                run.error = library.start(grey, line);
                if (!run.error.empty())
                    return run;
            }
            library.detect(grey, run.frames, run.events);
        }
        ++run.frames;
    }
    if (!source.end_reason().empty())
        run.error = source.end_reason();
    return run;
}

}  // namespace qvf
