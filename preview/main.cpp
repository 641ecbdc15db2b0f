// ringetch-preview: shows what an image will look like on the recorded side of a
// disc of a given geometry, as a PNG, and reads its calibration lines.
#include <csignal>
#include <signal.h>

#include "common/interrupt.h"
#include "common/program_name.h"
#include "preview/parameters.h"
#include "preview/preview_run.h"

namespace {
// Without SA_RESTART: a Ctrl-C must end a read that waits on a slow file.
void install_stop_handler()
{
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
}
}  // namespace

int main(int argc, char** argv)
{
    program_name = "ringetch-preview";
    install_stop_handler();
    PreviewParameters parameters;
    if (parse_preview_parameters(argc, argv, parameters) != 0)
        return 1;
    return run_preview(parameters);
}
