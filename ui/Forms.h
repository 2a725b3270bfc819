// Windows and the application: TForm (a top-level window with a client area
// that aligns its controls) and TApplication (title, message loop, and the
// one place where exceptions that leave event handlers are shown).
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "ui/Controls.h"

class QApplication;
class QTimer;

// A top-level window. Its bounds are the outer window; the client area is
// that minus the frame of a sizable window. The form owns its components and
// destroys them (newest first) before its own window goes.
class TForm : public TWinControl {
 public:
  // Frame of a sizable window at 96 dpi: borders left and right, borders
  // plus the title bar top and bottom.
  static constexpr int kFrameWidth = 16;
  static constexpr int kFrameHeight = 39;

  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  void SetBounds(int left, int top, int width, int height) override;
  int Width() const override;
  int Height() const override;
  int ClientWidth() const override;
  int ClientHeight() const override;
  void SetClientWidth(int width);
  void SetClientHeight(int height);

  TColor Color() const noexcept { return m_color; }
  void SetColor(TColor color);
  // Applies the form's font to the window; every control with ParentFont
  // (and every grid title) shows it.
  void ApplyFont();

  void Show();
  void Close();
  bool Showing() const;

  // The creation event. A derived form calls DoCreate at the end of its
  // constructor, so it runs once the component tree exists and before the
  // window is first shown; an exception leaving it goes to the application.
  TNotifyEvent OnCreate;

 protected:
  void DoCreate();
  void CaptionChanged() override;

 private:
  friend class TFormWidget;
  void Resized();

  TColor m_color = clBtnFace;
};

// The application object: one per process, created before any window.
class TApplication {
 public:
  // Initialises the window framework. The command line is not handed on:
  // the tool reads no arguments, so Qt sees only the program name. Creates
  // the Qt application itself (whose event dispatch catches what handlers
  // let escape) unless one exists already.
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // The application title: the executable's file name without directory and
  // without anything from its first full stop on, its first character
  // unchanged and the rest in lower case.
  static std::string TitleFromExeName(std::string_view path);
  const std::string& Title() const noexcept { return m_title; }
  void SetTitle(const std::string& title) { m_title = title; }

  TForm* MainForm() const noexcept { return m_mainForm; }
  void SetMainForm(TForm* form) { m_mainForm = form; }

  // Shows the main form and runs the message loop until it closes.
  int Run();
  // Processes pending events once (tests drive the loop with it).
  void ProcessMessages();

  // Long work inside a handler (a transfer) keeps the windows painted while
  // taking no input. Between BeginBusy and its matching EndBusy, mouse,
  // wheel, key, shortcut, context-menu and close input to every window but a
  // modal box is dropped (not kept for later), and the run-time timers do
  // not fire; ProcessBusyMessages lets the loop run once for the repaints
  // and the deferred refreshes. EndBusy drains the input that came in
  // meanwhile, so none of it reaches a handler once the work is over.
  // Calls nest; EndBusy never throws.
  void BeginBusy();
  void EndBusy() noexcept;
  bool Busy() const noexcept { return m_busy > 0; }
  void ProcessBusyMessages();

  // Called inside a catch block: shows the current exception in the error
  // box, or nothing for EAbort. Never throws.
  void HandleException() noexcept;
  // The framework error box for a message: the application title, the stop
  // icon, and the text with a full stop added when it is missing.
  void ShowException(const std::string& message);
  // The error box text: a non-empty message whose last character code is
  // above that of "." gets a full stop appended.
  static std::string ErrorBoxText(const std::string& message);

 private:
  void PumpTimers();

  std::unique_ptr<QApplication> m_qt;
  // Drives the run-time timers (idle and transaction timeouts) from the
  // message loop; re-armed each time the loop is about to sleep.
  std::unique_ptr<QTimer> m_timerPump;
  // Installed on the Qt application while Busy(): drops the user's input.
  std::unique_ptr<QObject> m_inputGate;
  int m_busy = 0;
  std::string m_title;
  TForm* m_mainForm = nullptr;  // not owned
};

// The process's application object (null before it is created).
extern TApplication* Application;
