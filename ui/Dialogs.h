// Modal message boxes. Every box goes through one replaceable presenter, so
// tests can record what would be shown instead of waiting for a human; the
// program keeps the default presenter, a real Qt message box.
#pragma once

#include <functional>
#include <string>

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
