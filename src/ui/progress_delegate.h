// The progress column of the client grid: the cell's number drawn as a bar.
#pragma once

#include <QStyledItemDelegate>

namespace tramolin {

// Width of the bar over `inner_width` pixels for `percent`, rounded to the nearest pixel (a half
// to the even neighbour).
int ProgressBarWidth(int inner_width, int percent);

// A cell with text: an outline in the grid's colour, inside it the button face and from the left
// a bar of the cell's percentage (0 when the text is not a number) in the highlight colour. An
// empty cell is drawn as usual.
class ProgressBarDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace tramolin
