#include "small_disc.h"

const SmallDisc& small_disc(const SmallDiscRequest& request)
{
    static SmallDisc* made = nullptr;
    if (made != nullptr)
        return *made;
    made = new SmallDisc;
    const RunResult run = run_program(
        REFINE_BINARY, {"tr0", request.tr0_range, "dtr", request.dtr_range, "size", request.size}, "",
        made->folder.path());
    if (file_size(made->folder / "refine.rge") <= 0)
        made->why = "no refinement image: " + run.err;
    else if (!render_disc_face((made->folder / "refine.rge").c_str(), request.disc, face_side(300), made->face,
                               made->why))
        made->why += " (render)";
    return *made;
}
