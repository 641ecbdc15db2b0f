// ringetch: writes CD-DA images that show a picture on a burned disc, calibrating
// the disc's track geometry with the user one burned test image at a time.
#include "common/calibration_state.h"
#include "common/console.h"
#include "common/interrupt.h"
#include "common/program_name.h"
#include "console/dialogue.h"
#include "console/parameters.h"

int main(int argc, char** argv)
{
    program_name = "ringetch";
    reserve_standard_descriptors();
    install_interrupt_handler();
    CalibrationState state;
    if (parse_parameters(argc, argv, state) != 0)
        return finish_console(1);
    state.auto_mode = true;
    state.reverse = false;
    return finish_console(run_dialogue(state));
}
