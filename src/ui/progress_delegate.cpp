#include "ui/progress_delegate.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tramolin {

int ProgressBarWidth(int inner_width, int percent) {
  return static_cast<int>(std::nearbyint(static_cast<double>(inner_width) * percent / 100.0));
}

void ProgressBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  const QString text = index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) return;
  bool is_number = false;
  int percent = text.toInt(&is_number);
  if (!is_number) percent = 0;

  painter->save();
  const QRect cell = option.rect;
  painter->setPen(option.palette.color(QPalette::Mid));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(cell.adjusted(0, 0, -1, -1));
  const QRect inner = cell.adjusted(1, 1, -1, -1);
  painter->fillRect(inner, option.palette.color(QPalette::Button));
  QRect bar = inner;
  bar.setWidth(std::clamp(ProgressBarWidth(inner.width(), percent), 0, inner.width()));
  if (bar.width() > 0) painter->fillRect(bar, option.palette.color(QPalette::Highlight));
  painter->restore();
}

}  // namespace tramolin
