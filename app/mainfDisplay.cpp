// What the window shows of its work: the status bar, the trace list, the memo and the
// listing.

#include "LineListModel.h"
#include "ListingModel.h"
#include "StatusPanel.h"
#include "mainf.h"
#include "ui_mainf.h"

#include <QScrollBar>

void TMainForm::ShowStatus(const std::string& text) {
  FStatusPanels[1]->setText(text);
}

void TMainForm::AddTraceLine(const std::string& text) {
  // Asking the timer for every line of a run costs more than keeping the line.
  if (FTrace->Add(text) && !FPendingLinesTimer.isActive()) FPendingLinesTimer.start();
}

void TMainForm::AddMemoLine(const std::string& text) {
  // The first path ever brings the memo back in front of the listing.
  if (!FMemoUsed) ui->dirmemo->show();
  FMemoUsed = true;
  if (FMemo->Add(text) && !FPendingLinesTimer.isActive()) FPendingLinesTimer.start();
}

void TMainForm::ShowPendingLines() {
  FPendingLinesTimer.stop();
  IdLogDebug1->FlushDebugOutput();
  if (FTrace->ShowPending()) {
    // The newest line is the selected one, scrolled into view.
    ui->DebugListBox->setCurrentIndex(FTrace->index(FTrace->rowCount() - 1));
  }
  // Paths are not chosen, only followed: the memo keeps its place when the user has
  // scrolled back, and otherwise keeps the newest path in view.
  QScrollBar& memoBar = *ui->dirmemo->verticalScrollBar();
  const bool followed = memoBar.value() == memoBar.maximum();
  if (FMemo->ShowPending() && followed) ui->dirmemo->scrollToBottom();
}

void TMainForm::ShowListing(TStringList lines) {
  FListing->Show(std::move(lines));
}

void TMainForm::ClearListing() {
  FListing->Clear();
}

int TMainForm::SelectedListingRow() const {
  // The highlighted line, not the current row: a list that gets the focus makes its first
  // line current without highlighting it, and nobody chose that line.
  const QModelIndexList selected = ui->DirectoryListBox->selectionModel()->selectedIndexes();
  return selected.isEmpty() ? -1 : selected.front().row();
}

const std::string& TMainForm::SelectedListingLine() const {
  // Nothing selected reads index -1, which the list refuses with its index error.
  return FListing->Lines().Strings(SelectedListingRow());
}

std::string TMainForm::LocalFolder() const {
  return ui->Uploaddiredit->text().toLocal8Bit().toStdString();
}
