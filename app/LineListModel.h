#pragma once

#include <QAbstractListModel>
#include <string>
#include <string_view>
#include <vector>

// The lines of the trace list or of the memo. A run of small files brings several trace
// lines a millisecond and a path every few: each is kept as the bytes it arrives as, all
// of them one after the other in one string (no allocation of its own per line), turned
// into text only when its row is drawn, and the lines come into the list in batches, when
// the window shows them.
class TLineListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  // The list view asks for the index of every row each time rows come in (it lays the whole
  // list out anew): answered without the two virtual calls of the inherited check.
  QModelIndex index(int row, int column = 0,
                    const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Keeps a line for the next ShowPending; it is no row yet. True for the first line kept
  // since the last ShowPending.
  bool Add(std::string_view line);
  // Makes the lines kept since the last call rows of the list: false when there were none.
  bool ShowPending();

 private:
  std::string FText;         // every line, one after the other
  std::vector<size_t> FEnds; // where each line ends in FText
  int FShown = 0;
};
