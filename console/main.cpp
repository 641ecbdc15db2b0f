// ringetch: writes CD-DA images that show a picture on a burned disc, calibrating
// the disc's track geometry with the user one burned test image at a time.
#include "common/calibration_state.h"
#include "common/interrupt.h"
#include "common/program_name.h"
#include "console/dialogue.h"
#include "console/parameters.h"

int main(int argc, char** argv)
{
    program_name = "ringetch";
    install_interrupt_handler();
    CalibrationState state;
    if (parse_parameters(argc, argv, state) != 0)
        return 1;
    state.auto_mode = true;
    state.reverse = false;
    return run_dialogue(state);
}
