// Centring a form on the screen.
#pragma once

#include "app/FormView.h"

namespace quillon {

struct TwipPoint {
    double left, top;
};

// The form's top-left corner, in twips, that centres a form of the given size on a full-screen
// client area of the given pixel size (halves rounded to the even neighbour; not clamped).
TwipPoint CenteredPosition(int fullScreenWidthPx, int fullScreenHeightPx, double twipsPerPixelX,
                           double twipsPerPixelY, double formWidthTwips, double formHeightTwips);

// Moves the form to the centre of the primary monitor's full-screen area; its size stays.
void CenterForm(IFormView& form, ISystem& system);

} // namespace quillon
