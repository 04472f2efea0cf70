#include "results/row_fit.h"

namespace corvella {

LineFit FitLine(std::u16string_view left, std::u16string_view right, int rect_left, int rect_right,
                int ideal_width, const MeasureText& measure) {
    LineFit fit;
    fit.right_text = right;
    fit.left_right = rect_right;
    fit.ideal_width = ideal_width;
    const int needed = measure(left) + measure(right);
    // The margin keeps a line that just fits from touching the column's edge.
    if (needed > ideal_width) fit.ideal_width = needed + 10;
    if (needed > rect_right - rect_left) {
        fit.right_text.insert(0, u"... ");
        fit.left_right = rect_right - measure(fit.right_text);
    }
    return fit;
}

}  // namespace corvella
