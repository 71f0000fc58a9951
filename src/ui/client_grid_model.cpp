#include "ui/client_grid_model.h"

#include <algorithm>

#include "ui/byte_format.h"
#include "ui/ui_text.h"
#include "util/cp1250.h"
#include "util/day_time.h"

namespace tramolin {
namespace {

constexpr std::size_t kStampLength = 19;  // "yyyy.mm.dd hh:nn:ss"

QString TimeText(double day_count) {
  return QString::fromStdString(StampText(day_count).substr(0, kStampLength));
}

QStringList EmptyRow() {
  QStringList row;
  for (int column = 0; column < kClientGridColumnCount; ++column) row << QString();
  return row;
}

}  // namespace

const std::array<std::string_view, kClientGridColumnCount> kClientGridHeaders = {
    "Nr:"_cp,          "Opis"_cp,      "Status"_cp,         "Postęp"_cp,
    "ID bazy"_cp,      "Wysłano"_cp,   "Odebrano"_cp,       "Zmian lokal."_cp,
    "Zmian zdaln."_cp, "Logowanie"_cp, "Ost. aktywność"_cp, "Ost. wymiana"_cp,
    "Ostatni błąd"_cp};

QStringList ClientGridCells(int index, const TKlientInfo& slot) {
  return {QString::number(index + 1),
          UiText(slot.Opis),
          UiText(SlotStatusName(static_cast<int>(slot.Status))),
          QString::number(slot.Postep),
          QString::number(slot.DBNR),
          QString::fromStdString(ByteCountText(slot.Wyslano)),
          QString::fromStdString(ByteCountText(slot.Odebrano)),
          QString::number(slot.DoWyslZmian),
          QString::number(slot.DoOdebrZmian),
          TimeText(slot.CzasStart),
          TimeText(slot.OstAktyw),
          slot.LastExchange > 0 ? TimeText(slot.LastExchange) : QString(),
          UiText(slot.LastErrorMsg)};
}

ClientGridModel::ClientGridModel(QObject* parent)
    : QAbstractTableModel(parent), rows_(1, EmptyRow()) {}

void ClientGridModel::Rebuild(const std::vector<TKlientInfo>& clients) {
  beginResetModel();
  rows_.assign(std::max<std::size_t>(clients.size(), 1), EmptyRow());
  for (std::size_t i = 0; i < clients.size(); ++i) {
    rows_[i] = ClientGridCells(static_cast<int>(i), clients[i]);
  }
  endResetModel();
}

void ClientGridModel::RefreshRow(int index, const TKlientInfo& slot) {
  if (index < 0 || static_cast<std::size_t>(index) >= rows_.size()) return;
  const QStringList cells = ClientGridCells(index, slot);
  QStringList& row = rows_[static_cast<std::size_t>(index)];
  for (const int column :
       {kColumnStatus, kColumnProgress, kColumnSent, kColumnReceived, kColumnLocalChanges,
        kColumnRemoteChanges, kColumnLastActivity, kColumnLastExchange, kColumnLastError}) {
    row[column] = cells[column];
  }
  emit dataChanged(this->index(index, 0), this->index(index, kClientGridColumnCount - 1));
}

int ClientGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ClientGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kClientGridColumnCount;
}

QVariant ClientGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  return rows_[static_cast<std::size_t>(index.row())][index.column()];
}

QVariant ClientGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
      section >= kClientGridColumnCount) {
    return {};
  }
  return UiText(kClientGridHeaders[static_cast<std::size_t>(section)]);
}

}  // namespace tramolin
