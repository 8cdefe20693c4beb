#include "app/Various.h"

#include <cmath>

namespace quillon {

TwipPoint CenteredPosition(int fullScreenWidthPx, int fullScreenHeightPx, double twipsPerPixelX,
                           double twipsPerPixelY, double formWidthTwips, double formHeightTwips) {
    const double left = fullScreenWidthPx / 2.0 * twipsPerPixelX - formWidthTwips / 2;
    const double top = fullScreenHeightPx / 2.0 * twipsPerPixelY - formHeightTwips / 2;
    return {std::nearbyint(left), std::nearbyint(top)};
}

void CenterForm(IFormView& form, ISystem& system) {
    const TwipPoint at =
        CenteredPosition(system.FullScreenWidth(), system.FullScreenHeight(), form.TwipsPerPixelX(),
                         form.TwipsPerPixelY(), form.WidthTwips(), form.HeightTwips());
    form.MoveTwips(at.left, at.top);
}

} // namespace quillon
