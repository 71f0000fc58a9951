// The client grid: rows from the server's slots, the refresh of one row, and the progress bar.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>

#include "ui/client_grid_model.h"
#include "ui/progress_delegate.h"
#include "ui/ui_text.h"
#include "util/cp1250.h"
#include "util/day_time.h"

namespace tramolin {
namespace {

TKlientInfo Slot(std::string_view description, SlotStatus status, int progress) {
  TKlientInfo slot;
  slot.Opis = std::string(description);
  slot.Status = status;
  slot.Postep = progress;
  slot.DBNR = 12;
  slot.Wyslano = 1234567;
  slot.Odebrano = 0;
  slot.DoWyslZmian = 5;
  slot.DoOdebrZmian = 7;
  slot.CzasStart = ToDayCount({2026, 3, 14, 8, 0, 5, 0});
  slot.OstAktyw = ToDayCount({2026, 3, 14, 9, 26, 50, 700});
  return slot;
}

QStringList RowTexts(const ClientGridModel& model, int row) {
  QStringList texts;
  for (int column = 0; column < model.columnCount(); ++column) {
    texts << model.data(model.index(row, column)).toString();
  }
  return texts;
}

TEST(ClientGridModelTest, NoSlotsShowOneEmptyRow) {
  ClientGridModel model;
  model.Rebuild({Slot("Oddział"_cp, SlotStatus::kLoggedIn, 0)});
  model.Rebuild({});
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(RowTexts(model, 0).join(""), "");
}

TEST(ClientGridModelTest, EverySlotFillsEveryColumn) {
  ClientGridModel model;
  TKlientInfo copy = Slot("Sklep Łódź"_cp, SlotStatus::kLoggedIn, 37);
  copy.LastExchange = ToDayCount({2026, 3, 14, 9, 20, 0, 0});
  copy.LastErrorMsg = "Błąd importu"_cp;
  model.Rebuild({copy, Slot("Serwisant", SlotStatus::kAwaitingConfirmation, 100)});
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(
      RowTexts(model, 0),
      QStringList({"1", QString::fromUtf8("Sklep Łódź"), "zalogowany", "37", "12", " 1 234 567 b",
                   "   0 b", "5", "7", "2026.03.14 08:00:05", "2026.03.14 09:26:50",
                   "2026.03.14 09:20:00", QString::fromUtf8("Błąd importu")}));
  EXPECT_EQ(RowTexts(model, 1)[0], "2");
  EXPECT_EQ(RowTexts(model, 1)[kColumnLastExchange], "") << "no exchange yet";
  EXPECT_EQ(RowTexts(model, 1)[2], QString::fromUtf8("czeka na potw."));
}

TEST(ClientGridModelTest, HeadersAreTheGridsOwn) {
  ClientGridModel model;
  QStringList headers;
  for (int column = 0; column < model.columnCount(); ++column) {
    headers << model.headerData(column, Qt::Horizontal).toString();
  }
  EXPECT_EQ(headers, QStringList({"Nr:", "Opis", "Status", QString::fromUtf8("Postęp"), "ID bazy",
                                  QString::fromUtf8("Wysłano"), "Odebrano", "Zmian lokal.",
                                  "Zmian zdaln.", "Logowanie", QString::fromUtf8("Ost. aktywność"),
                                  "Ost. wymiana", QString::fromUtf8("Ostatni błąd")}));
}

TEST(ClientGridModelTest, RowRefreshTouchesOnlyTheChangingColumns) {
  ClientGridModel model;
  model.Rebuild({Slot("Oddział"_cp, SlotStatus::kLoggedIn, 0)});
  TKlientInfo changed = Slot("Nowy opis", SlotStatus::kImporting, 80);
  changed.DBNR = 99;
  changed.Wyslano = 2048;
  changed.CzasStart = 0;
  model.RefreshRow(0, changed);
  model.RefreshRow(1, changed);  // no such row
  model.RefreshRow(-1, changed);

  ASSERT_EQ(model.rowCount(), 1);
  const QStringList row = RowTexts(model, 0);
  EXPECT_EQ(row[kColumnDescription], QString::fromUtf8("Oddział"));
  EXPECT_EQ(row[kColumnDatabaseId], "12");
  EXPECT_EQ(row[kColumnLoggedIn], "2026.03.14 08:00:05");
  EXPECT_EQ(row[kColumnStatus], "przetwarza");
  EXPECT_EQ(row[kColumnProgress], "80");
  EXPECT_EQ(row[kColumnSent], "  2 048 b");
}

// Paints one progress cell of 60 x 16 pixels and returns the image.
QImage PaintProgressCell(const QString& text) {
  QStandardItemModel model(1, 1);
  model.setData(model.index(0, 0), text);
  ProgressBarDelegate delegate;
  QStyleOptionViewItem option;
  option.rect = QRect(0, 0, 60, 16);
  option.palette.setColor(QPalette::Highlight, QColor(0, 0, 200));
  option.palette.setColor(QPalette::Button, QColor(220, 220, 220));
  option.palette.setColor(QPalette::Mid, QColor(100, 100, 100));
  QImage image(60, 16, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  delegate.paint(&painter, option, model.index(0, 0));
  painter.end();
  return image;
}

int BarPixelsInRow(const QImage& image, int y) {
  int count = 0;
  for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == qRgb(0, 0, 200) ? 1 : 0;
  return count;
}

TEST(ProgressBarDelegateTest, BarCoversThePercentOfTheInnerWidth) {
  const QImage image = PaintProgressCell("37");
  // Inner width 58: 58 * 37 % = 21.46 -> 21 pixels from the inner left edge, on every inner row.
  for (int y = 1; y < 15; ++y) EXPECT_EQ(BarPixelsInRow(image, y), 21) << "row " << y;
  EXPECT_EQ(image.pixel(1, 8), qRgb(0, 0, 200));
  EXPECT_EQ(image.pixel(22, 8), qRgb(220, 220, 220));
  EXPECT_EQ(image.pixel(0, 8), qRgb(100, 100, 100));  // the outline
  EXPECT_EQ(BarPixelsInRow(image, 0), 0);
}

TEST(ProgressBarDelegateTest, EmptyCellHasNoBarAndTextThatIsNoNumberAnEmptyOne) {
  const QImage empty = PaintProgressCell("");
  EXPECT_EQ(BarPixelsInRow(empty, 8), 0);
  EXPECT_NE(empty.pixel(0, 8), qRgb(100, 100, 100));  // no outline either

  const QImage not_a_number = PaintProgressCell("abc");
  EXPECT_EQ(BarPixelsInRow(not_a_number, 8), 0);
  EXPECT_EQ(not_a_number.pixel(30, 8), qRgb(220, 220, 220));

  EXPECT_EQ(BarPixelsInRow(PaintProgressCell("100"), 8), 58);
  EXPECT_EQ(BarPixelsInRow(PaintProgressCell("250"), 8), 58);  // never beyond the cell
}

TEST(ProgressBarDelegateTest, HalvesRoundToTheEvenPixel) {
  EXPECT_EQ(ProgressBarWidth(50, 1), 0);  // 0.5
  EXPECT_EQ(ProgressBarWidth(50, 3), 2);  // 1.5
  EXPECT_EQ(ProgressBarWidth(50, 5), 2);  // 2.5
  EXPECT_EQ(ProgressBarWidth(58, 37), 21);
  EXPECT_EQ(ProgressBarWidth(58, 0), 0);
}

}  // namespace
}  // namespace tramolin
