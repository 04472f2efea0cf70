// How one line of a result row shares its width: the left text (a name or a location) runs from
// the left, the right text (a size or a date) sits at the right edge. When both do not fit, the
// right text wins, marked with "... ", and the left text is cut where the right text begins.
// Every line drawn also widens the list's ideal width, which the header's divider snaps to.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace corvella {

// The width of a text in the row's font, in pixels.
using MeasureText = std::function<int(std::u16string_view)>;

struct LineFit {
    std::u16string right_text;  // with "... " in front when the line does not fit
    int left_right = 0;         // where the left text's rectangle ends
    int ideal_width = 0;        // the list's ideal width after this line
};

LineFit FitLine(std::u16string_view left, std::u16string_view right, int rect_left, int rect_right,
                int ideal_width, const MeasureText& measure);

}  // namespace corvella
