// ringetch-preview: shows what an image will look like on the recorded side of a
// disc of a given geometry, as a PNG, and reads its calibration lines.
#include "common/console.h"
#include "common/interrupt.h"
#include "common/program_name.h"
#include "preview/parameters.h"
#include "preview/preview_run.h"

int main(int argc, char** argv)
{
    program_name = "ringetch-preview";
    reserve_standard_descriptors();
    install_stop_handlers();
    // A stop signal must end a read or open that waits on a slow file, not restart it.
    let_interrupt_break_calls(true);
    PreviewParameters parameters;
    const CommandLine line = parse_preview_parameters(argc, argv, parameters);
    if (line != CommandLine::run)
        return finish_console(command_line_status(line));
    // Every step polls break_requested, so SIGTERM and SIGHUP stop it as Ctrl-C does:
    // the PNG's temporary is removed on the way out.
    poll_stop_signals(true);
    const int status = run_preview(parameters);
    poll_stop_signals(false);
    return finish_console(status);
}
