// Line crossings read off real footage by eye, and the matching of a detector's line
// events against them.
#ifndef QV_FOOTAGE_LINE_CROSSINGS_H
#define QV_FOOTAGE_LINE_CROSSINGS_H

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace qvf {

// The event log's words: s(p) > 0 before the crossing and < 0 after it, or the other way.
enum class Direction { PositiveToNegative, NegativeToPositive };
const char *direction_name(Direction d);

// One person crossing the line, as annotated.
struct Crossing {
    int frame;  // processed frame (counted from 0) on which the feet are past the line
    Direction direction;
    bool doubtful;
    std::string note;
};

// One crossing as a detector reported it.
struct LineEvent {
    int frame;
    Direction direction;
    int id;
    cv::Point foot;  // the reporting object's reference point
};

// Reads "FRAME DIRECTION clear|doubtful NOTE" lines; '#' starts a comment line.
// On a malformed line returns false and says which line and why in `error`.
bool parse_crossings(const std::string &text, std::vector<Crossing> &out, std::string &error);
bool load_crossings(const std::string &path, std::vector<Crossing> &out, std::string &error);

// How far an event may lie from the annotated frame: from `early` frames before to
// `late` frames after.
struct MatchWindow {
    int early = 3;
    int late = 10;
};

struct FoundCrossing {
    Crossing crossing;
    LineEvent event;
    int delay() const { return event.frame - crossing.frame; }
};

struct CrossingScore {
    std::vector<FoundCrossing> found;          // clear crossings with their event
    std::vector<Crossing> missed;              // clear crossings nobody reported
    std::vector<LineEvent> false_events;       // events matching no crossing
    std::vector<FoundCrossing> doubtful_found;  // doubtful crossings with their event
    int doubtful_unfound = 0;
    double median_delay() const;  // over `found`; 0 when nothing was found
};

// Matches events to crossings one to one: same direction, frame within the window.
// Clear crossings are matched first and as many of them as possible; among the
// possible events each crossing prefers the one nearest in time.
CrossingScore match_crossings(const std::vector<Crossing> &crossings, const std::vector<LineEvent> &events,
                              MatchWindow window = {});

}  // namespace qvf

#endif
