// Modal message boxes and the save-file dialog. Every box goes through one replaceable presenter, so
// tests can record what would be shown instead of waiting for a human; the
// program keeps the default presenter, a real Qt message box.
#pragma once

#include <functional>
#include <string>

#include "runtime/Component.h"

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Icon of a box: the confirmation box shows the question mark, the
// framework's error box the stop sign.
enum class TMsgIcon { None, Information, Warning, Question, Stop };

// One box: title and text in the system code page, one "OK" button that is
// both the default and the escape button.
struct TMessageBox {
  std::string Title;
  std::string Text;
  TMsgIcon Icon = TMsgIcon::None;
};

using TMessagePresenter = std::function<void(const TMessageBox& Box)>;

// Replaces the presenter and returns the previous one; an empty presenter
// restores the Qt box.
TMessagePresenter SetMessagePresenter(TMessagePresenter presenter);
// Shows Box modally through the presenter; returns when it is closed.
void ShowMessageBox(const TMessageBox& Box);

// The tool's box: titled after its type ("Confirm" for mtConfirmation) with
// the matching icon and one "OK" button.
void MessageDlg(const std::string& Msg, TMsgDlgType DlgType);

// The save-file dialog. Execute goes through one replaceable prompt, like the
// message boxes: tests answer it without a window; the program keeps the Qt
// file dialog.
class TSaveDialog : public TComponent {
 public:
  explicit TSaveDialog(TComponent* AOwner);

  // Title in the system code page.
  const std::string& Title() const noexcept { return m_title; }
  void SetTitle(const std::string& title) { m_title = title; }
  // Pairs of description and patterns, all joined by "|":
  // "Tekst (*.txt)|*.txt|Sve|*".
  const std::string& Filter() const noexcept { return m_filter; }
  void SetFilter(const std::string& filter) { m_filter = filter; }
  // Added (after a ".") to a chosen name that has no extension.
  const std::string& DefaultExt() const noexcept { return m_defaultExt; }
  void SetDefaultExt(const std::string& ext) { m_defaultExt = ext; }
  // The proposed name before Execute, the chosen one after it; a path as
  // the file system takes it (UTF-8), not a system code page text.
  const std::string& FileName() const noexcept { return m_fileName; }
  void SetFileName(const std::string& name) { m_fileName = name; }

  // Asks for the name; false when the user cancelled (FileName unchanged).
  bool Execute();

 private:
  std::string m_title;
  std::string m_filter;
  std::string m_defaultExt;
  std::string m_fileName;
};

// Answers a save dialog: sets its FileName and returns true, or returns
// false for a cancel.
using TSaveDialogPrompt = std::function<bool(TSaveDialog& Dialog)>;
// Replaces the prompt and returns the previous one; an empty prompt restores
// the Qt file dialog.
TSaveDialogPrompt SetSaveDialogPrompt(TSaveDialogPrompt prompt);
