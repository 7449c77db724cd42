// The style of the window's lists and radio buttons: the application's style, with the room for
// the text that the designed window was laid out for. The design's lists are 81 to 121 pixels
// wide and its radio buttons 71 and 80, sized for a platform that drew a list's drop-down button
// 16 pixels wide with the text right beside the frame, and a radio button's circle 13 pixels wide
// 4 pixels before the text. Fusion takes 19 pixels for the button and indents the text by 4, and
// 20 pixels for the circle and its gap, so that "automaticky" or "jednorázové" show clipped and
// "od kanálu R" runs under the arrow. This style gives back that room; the style beneath still
// draws every part, in the places it is given.
#pragma once

#include <QProxyStyle>

namespace window {

class DesignStyle final : public QProxyStyle {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesignStyle)

  public:
    // On a new instance of the application's style (so that it follows -style), owned by this.
    DesignStyle();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;
};

}  // namespace window
