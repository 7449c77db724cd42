#include "window/DesignStyle.h"

#include <QApplication>
#include <QStyleFactory>
#include <QStyleOptionComplex>

namespace window {

namespace {

// A list's drop-down button, two pixels narrower than the designed 16 (Fusion's arrow is 7 pixels
// wide in its middle), and the gap between the frame and the text field: the widest item of the
// narrowest lists ("automaticky" in 81 pixels) then keeps a pixel to spare in the condensed face
// that stands in for the design's, and a pixel of plain background before the frame.
constexpr int kListButtonWidth = 14;
constexpr int kListTextGap = 1;
// A radio button's circle, and the gap between it and the text.
constexpr int kRadioIndicatorSize = 13;
constexpr int kRadioTextGap = 4;

}  // namespace

DesignStyle::DesignStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

QRect DesignStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                  SubControl part, const QWidget* widget) const {
    if (control != CC_ComboBox || option == nullptr)
        return QProxyStyle::subControlRect(control, option, part, widget);
    // Inside the frame: the text field just after the frame, then the button up to the frame.
    const int frame = proxy()->pixelMetric(PM_ComboBoxFrameWidth, option, widget);
    const QRect inside = option->rect.adjusted(frame, frame, -frame, -frame);
    QRect area;
    switch (part) {
        case SC_ComboBoxArrow:
            area = QRect(inside.right() - kListButtonWidth + 1, inside.top(), kListButtonWidth,
                         inside.height());
            break;
        case SC_ComboBoxEditField:
            area = inside.adjusted(kListTextGap, 0, -kListButtonWidth, 0);
            break;
        default:
            return QProxyStyle::subControlRect(control, option, part, widget);
    }
    return visualRect(option->direction, option->rect, area);
}

int DesignStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                             const QWidget* widget) const {
    switch (metric) {
        case PM_ExclusiveIndicatorWidth:
        case PM_ExclusiveIndicatorHeight:
            return kRadioIndicatorSize;
        case PM_RadioButtonLabelSpacing:
            return kRadioTextGap;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

}  // namespace window
