#include "tools/eval/line_crossings.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

namespace qvf {

const char *direction_name(Direction d)
{
    return d == Direction::PositiveToNegative ? "positive_to_negative" : "negative_to_positive";
}

bool parse_crossings(const std::string &text, std::vector<Crossing> &out, std::string &error)
{
    out.clear();
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#')
            continue;
        std::istringstream fields(line);
        std::string frame, direction, status;
        fields >> frame >> direction >> status;
        auto fail = [&](const std::string &why) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        };
        char *end = nullptr;
        const long value = std::strtol(frame.c_str(), &end, 10);
        if (frame.empty() || *end != '\0' || value < 0 || value > 100000000)
            return fail("frame \"" + frame + "\" is not a frame number");
        Crossing c{int(value), Direction::PositiveToNegative, false, {}};
        if (direction == "negative_to_positive")
            c.direction = Direction::NegativeToPositive;
        else if (direction != "positive_to_negative")
            return fail("direction \"" + direction + "\" is neither positive_to_negative nor negative_to_positive");
        if (status != "clear" && status != "doubtful")
            return fail("status \"" + status + "\" is neither clear nor doubtful");
        c.doubtful = status == "doubtful";
        std::getline(fields >> std::ws, c.note);
        out.push_back(std::move(c));
    }
    return true;
}

bool load_crossings(const std::string &path, std::vector<Crossing> &out, std::string &error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (!parse_crossings(text.str(), out, error)) {
        error = path + ", " + error;
        return false;
    }
    return true;
}

double CrossingScore::median_delay() const
{
    if (found.empty())
        return 0;
    std::vector<int> d;
    for (const FoundCrossing &f : found)
        d.push_back(f.delay());
    std::sort(d.begin(), d.end());
    const size_t n = d.size();
    return n % 2 ? d[n / 2] : 0.5 * (d[n / 2 - 1] + d[n / 2]);
}

CrossingScore match_crossings(const std::vector<Crossing> &crossings, const std::vector<LineEvent> &events,
                              MatchWindow window)
{
    // The events each crossing may take, nearest in time first.
    std::vector<std::vector<size_t>> candidates(crossings.size());
    for (size_t c = 0; c < crossings.size(); ++c) {
        for (size_t e = 0; e < events.size(); ++e) {
            const int delay = events[e].frame - crossings[c].frame;
            if (events[e].direction == crossings[c].direction && delay >= -window.early && delay <= window.late)
                candidates[c].push_back(e);
        }
        std::stable_sort(candidates[c].begin(), candidates[c].end(), [&](size_t a, size_t b) {
            return std::abs(events[a].frame - crossings[c].frame) < std::abs(events[b].frame - crossings[c].frame);
        });
    }

    // One-to-one by augmenting paths: a crossing may take an event another crossing
    // holds when that one can move to another event, so no crossing that could be
    // matched is left out because a neighbour took its only event. Clear crossings
    // are matched first; doubtful ones get only the events left over, so they never
    // change what the clear ones were given.
    std::vector<int> owner(events.size(), -1);
    std::vector<bool> unavailable;
    std::function<bool(size_t)> assign = [&](size_t c) {
        for (size_t e : candidates[c]) {
            if (unavailable[e])
                continue;
            unavailable[e] = true;
            if (owner[e] < 0 || assign(size_t(owner[e]))) {
                owner[e] = int(c);
                return true;
            }
        }
        return false;
    };
    for (const bool doubtful : {false, true}) {
        std::vector<bool> held(events.size());
        for (size_t e = 0; e < events.size(); ++e)
            held[e] = owner[e] >= 0;
        for (size_t c = 0; c < crossings.size(); ++c)
            if (crossings[c].doubtful == doubtful) {
                unavailable = doubtful ? held : std::vector<bool>(events.size());
                assign(c);
            }
    }
    std::vector<int> taken(crossings.size(), -1);
    for (size_t e = 0; e < events.size(); ++e)
        if (owner[e] >= 0)
            taken[size_t(owner[e])] = int(e);

    CrossingScore s;
    for (size_t c = 0; c < crossings.size(); ++c) {
        const Crossing &x = crossings[c];
        if (taken[c] >= 0)
            (x.doubtful ? s.doubtful_found : s.found).push_back({x, events[size_t(taken[c])]});
        else if (x.doubtful)
            ++s.doubtful_unfound;
        else
            s.missed.push_back(x);
    }
    for (size_t e = 0; e < events.size(); ++e)
        if (owner[e] < 0)
            s.false_events.push_back(events[e]);
    return s;
}

}  // namespace qvf
