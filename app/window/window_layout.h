#pragma once

#include <QRect>
#include <span>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace talvenor::app::window {

// A control's place in the window, in twips (1/1440 inch).
struct TwipsRect {
  int left = 0, top = 0, width = 0, height = 0;
};

// The window's arrangement. The client area is 5880 x 4425 twips.
inline constexpr TwipsRect kClientTwips{0, 0, 5880, 4425};
inline constexpr TwipsRect kComboTwips{120, 120, 5595, 375};
inline constexpr TwipsRect kText1Twips{120, 600, 4155, 375};
inline constexpr TwipsRect kBrowseTwips{4380, 600, 1335, 375};
inline constexpr TwipsRect kImportTwips{2820, 1080, 2895, 375};
inline constexpr TwipsRect kListTwips{120, 1560, 5595, 1425};
inline constexpr TwipsRect kLogoTwips{120, 3060, 4770, 1290};
inline constexpr TwipsRect kCloseTwips{4500, 3900, 1215, 375};
// The progress bar of a run, right beneath the list, over the logo's top.
inline constexpr TwipsRect kProgressTwips{120, 3000, 5595, 360};
// The drop-down's two wide list columns.
inline constexpr int kWideColumnTwips = 4000;

// The twips per inch.
inline constexpr double kTwipsPerInch = 1440;

// The pixels of `box` at `px_per_twip`. Edges are rounded, not sizes, so
// boxes that touch in twips touch in pixels.
QRect ToPixels(const TwipsRect& box, double px_per_twip);

// What a control needs, in pixels, to show its texts whole.
struct Need {
  TwipsRect box;
  int width = 0, height = 0;
};

// The pixels per twip at which every box is at least as large as its need
// once rounded to pixels: `base` (the screen's DPI / 1440) when that is
// enough, else the least larger scale. The whole window grows by the same
// scale, so the arrangement and proportions stay.
double FitScale(double base, std::span<const Need> needs);

// Where each kind of control draws its text, in its own coordinates, as its
// style lays it out at its present size: a button's caption, the edit box of
// an editable drop-down, a framed line edit's text line. A text fits when its
// width and the font's height fit this rectangle.
QRect ButtonTextRoom(const QPushButton& button);
QRect ComboTextRoom(const QComboBox& combo);
QRect LineEditTextRoom(const QLineEdit& edit);

}  // namespace talvenor::app::window
