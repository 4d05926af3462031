#include "app/window/window_layout.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <cmath>

namespace talvenor::app::window {

namespace {

int Edge(int twips, double px_per_twip) {
  return static_cast<int>(std::lround(twips * px_per_twip));
}

bool Fits(const Need& need, double px_per_twip) {
  const QRect px = ToPixels(need.box, px_per_twip);
  return px.width() >= need.width && px.height() >= need.height;
}

}  // namespace

QRect ToPixels(const TwipsRect& box, double px_per_twip) {
  const int left = Edge(box.left, px_per_twip);
  const int top = Edge(box.top, px_per_twip);
  return QRect(left, top, Edge(box.left + box.width, px_per_twip) - left,
               Edge(box.top + box.height, px_per_twip) - top);
}

double FitScale(double base, std::span<const Need> needs) {
  double scale = base;
  for (const Need& need : needs) {
    if (need.box.width > 0) scale = std::max(scale, double(need.width) / need.box.width);
    if (need.box.height > 0) scale = std::max(scale, double(need.height) / need.box.height);
  }
  // Rounding the edges may still take a pixel off a box: grow in steps of
  // less than a pixel on the smallest box until each fits.
  for (int step = 0; step < 64; ++step) {
    if (std::all_of(needs.begin(), needs.end(),
                    [&](const Need& need) { return Fits(need, scale); })) {
      break;
    }
    scale *= 1.005;
  }
  return scale;
}

// A line edit keeps 2 pixels left and right and 1 above and below its text.
constexpr int kLineEditMarginX = 2;
constexpr int kLineEditMarginY = 1;

QRect ButtonTextRoom(const QPushButton& button) {
  QStyleOptionButton option;
  option.initFrom(&button);
  option.rect = button.rect();
  option.text = button.text();
  if (button.isDefault()) option.features |= QStyleOptionButton::DefaultButton;
  if (button.autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
  return button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
}

QRect ComboTextRoom(const QComboBox& combo) {
  QStyleOptionComboBox option;
  option.initFrom(&combo);
  option.rect = combo.rect();
  option.editable = combo.isEditable();
  option.frame = combo.hasFrame();
  const QRect field = combo.style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, &combo);
  return field.adjusted(kLineEditMarginX, kLineEditMarginY, -kLineEditMarginX, -kLineEditMarginY);
}

QRect LineEditTextRoom(const QLineEdit& edit) {
  QStyleOptionFrame option;
  option.initFrom(&edit);
  option.rect = edit.rect();
  option.lineWidth =
      edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit) : 0;
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  const QRect contents = edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit);
  return contents.marginsRemoved(edit.textMargins())
      .adjusted(kLineEditMarginX, kLineEditMarginY, -kLineEditMarginX, -kLineEditMarginY);
}

}  // namespace talvenor::app::window
