// The window's display of a running transfer, and what keeps the window
// alive during one: a strip over the free right part of the button panel
// (a plain widget, not one of the form's components) shown only while a
// transfer runs, repainted at a steady pace while input stays closed.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <string>

#include "app/Unit6.h"

class QFrame;
class QLabel;
class QProgressBar;

// Owned by its form; its widgets are children of the form's window.
class TTransferProgressView {
 public:
  explicit TTransferProgressView(TForm6* form);
  ~TTransferProgressView();
  TTransferProgressView(const TTransferProgressView&) = delete;
  TTransferProgressView& operator=(const TTransferProgressView&) = delete;

  // The form's consumer of its transfer reports. The first report of a run
  // closes the window to input and shows the strip; then at most every
  // kRepaintMs of wall time the strip is updated and the window repainted
  // (the rows' own pace would slow the transfer down); the last report
  // hides the strip and opens the window again. Never throws: the last
  // report may come while an error unwinds.
  void Report(const TForm6::TTransferProgress& progress) noexcept;
  static constexpr int kRepaintMs = 150;

  bool Running() const noexcept { return m_running; }
  bool Showing() const;
  // What the strip says (UTF-8); after a run, what it said last.
  const std::string& Text() const noexcept { return m_text; }
  // The strip's text for a report.
  static std::string Describe(const TForm6::TTransferProgress& progress);

 private:
  void Show(const TForm6::TTransferProgress& progress);
  void Update(const TForm6::TTransferProgress& progress);
  void Place();

  TForm6* m_form;  // owns this view
  QPointer<QFrame> m_strip;  // a child of the form's window, made on first use
  QLabel* m_label = nullptr;  // owned by the strip
  QProgressBar* m_bar = nullptr;  // owned by the strip
  QElapsedTimer m_sinceRepaint;
  std::string m_text;
  bool m_running = false;
};
