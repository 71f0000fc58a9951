// The server window's client grid: one row per client slot with the slot's values as text, kept
// as they were last shown, so a refresh decides what the grid shows (not the live slots).
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <array>
#include <string_view>
#include <vector>

#include "server/client_slot.h"

namespace tramolin {

enum ClientGridColumn : int {
  kColumnNumber = 0,
  kColumnDescription,
  kColumnStatus,
  kColumnProgress,
  kColumnDatabaseId,
  kColumnSent,
  kColumnReceived,
  kColumnLocalChanges,
  kColumnRemoteChanges,
  kColumnLoggedIn,
  kColumnLastActivity,
  kColumnLastExchange,  // the copy's last successful exchange
  kColumnLastError,
  kClientGridColumnCount,
};

// Header texts (code page 1250) and initial widths in pixels, by column.
extern const std::array<std::string_view, kClientGridColumnCount> kClientGridHeaders;
inline constexpr std::array<int, kClientGridColumnCount> kClientGridWidths = {
    20, 120, 80, 60, 70, 90, 90, 90, 90, 120, 120, 120, 200};

// The cell texts of slot `index` (shown in row index + 1, numbered from 1).
QStringList ClientGridCells(int index, const TKlientInfo& slot);

class ClientGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ClientGridModel(QObject* parent = nullptr);

  // Every row anew from the slots; at least one row, empty when there is no slot.
  void Rebuild(const std::vector<TKlientInfo>& clients);
  // The changing columns (status, progress, traffic, changes, last activity) of one slot's row;
  // nothing when the row does not exist.
  void RefreshRow(int index, const TKlientInfo& slot);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::vector<QStringList> rows_;
};

}  // namespace tramolin
