#include "driver/event_report.h"

// Placeholder until the event report lands.
std::string report_events(const qv_result &, int, std::FILE *)
{
    return {};
}
