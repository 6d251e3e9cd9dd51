#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <unistd.h>

#include "driver/command_line.h"
#include "driver/error_text.h"
#include "driver/exit_codes.h"
#include "driver/preview.h"
#include "driver/run_demo.h"
#include "driver/stop_signal.h"

namespace {

bool display_available()
{
    const char *x11 = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

// Waits for Enter only when someone is at a terminal; pipes and CI go straight on.
void pause_for_key()
{
    if (!isatty(STDIN_FILENO))
        return;
    std::printf("Press Enter to continue . . .");
    std::fflush(stdout);
    for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
    }
}

} // namespace

int main(int argc, char **argv)
{
    // The console's codeset decides whether Chinese text goes out as GBK or UTF-8.
    std::setlocale(LC_CTYPE, "");

    RunOptions options;
    const int parsed = parse_command_line(argc, argv, options);
    if (parsed >= 0)
        return parsed;
    if (!options.preview_path.empty()) {
        quiet_video_backends();
        return write_preview(options);
    }

    if (!options.show_window)
        std::fprintf(stderr, "qv_demo: window off (--no-window); frames are still written\n");
    else if (!display_available()) {
        options.show_window = false;
        std::fprintf(stderr, "qv_demo: window off (no display); frames are still written\n");
    }

    quiet_video_backends();
    install_stop_handlers();
    int status = kExitOk;
    try {
        status = run_demo(options);
    } catch (const std::exception &e) {
        // Unwinding has closed the output files by now.
        std::fprintf(stderr, "qv_demo: %s\n", one_line(e.what()).c_str());
        return kExitFailure;
    }
    if (status != kExitModelInit && options.pause_at_end)
        pause_for_key();
    return status;
}
