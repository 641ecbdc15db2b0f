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
    install_interrupt_handler();
    // A Ctrl-C must end a read that waits on a slow file, not restart it.
    let_interrupt_break_calls(true);
    PreviewParameters parameters;
    const CommandLine line = parse_preview_parameters(argc, argv, parameters);
    if (line != CommandLine::run)
        return finish_console(command_line_status(line));
    return finish_console(run_preview(parameters));
}
