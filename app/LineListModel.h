#pragma once

#include <QAbstractListModel>
#include <string>
#include <vector>

// The lines of the trace list or of the memo. A run of small files brings several trace
// lines a millisecond and a path every few: each is kept as the byte string it arrives
// as, turned into text only when its row is drawn, and the lines come into the list in
// batches, when the window shows them.
class TLineListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Keeps a line for the next ShowPending; it is no row yet.
  void Add(const std::string& line);
  // Makes the lines kept since the last call rows of the list: false when there were none.
  bool ShowPending();

 private:
  std::vector<std::string> FLines;
  int FShown = 0;
};
