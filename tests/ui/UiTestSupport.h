// Shared by the window tests: a Qt application on the offscreen platform for
// the whole test program, and a recorder that stands in for the message
// boxes so nothing waits for a human.
#pragma once

#include <gtest/gtest.h>

#include <QtGlobal>
#include <memory>
#include <ostream>
#include <vector>

#include "ui/Dialogs.h"
#include "ui/Controls.h"
#include "ui/Forms.h"

class UiTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    m_app = std::make_unique<TApplication>();
  }
  void TearDown() override { m_app.reset(); }

 private:
  std::unique_ptr<TApplication> m_app;
};

// Records every box for the lifetime of the object, then restores the
// previous presenter.
class BoxRecorder {
 public:
  BoxRecorder() {
    m_previous = SetMessagePresenter([this](const TMessageBox& box) { Boxes.push_back(box); });
  }
  ~BoxRecorder() { SetMessagePresenter(std::move(m_previous)); }
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;

  std::vector<TMessageBox> Boxes;

 private:
  TMessagePresenter m_previous;
};

// A control's stored bounds, printable in assertion failures.
struct Rect {
  int l, t, w, h;
  bool operator==(const Rect&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Rect& r) {
  return os << "(" << r.l << "," << r.t << "," << r.w << "," << r.h << ")";
}
inline Rect BoundsOf(const TControl* c) { return {c->Left(), c->Top(), c->Width(), c->Height()}; }

// Registers the environment once per test program (include from one file).
#define UI_TEST_ENVIRONMENT()                                          \
  [[maybe_unused]] static ::testing::Environment* const g_uiTestEnv = \
      ::testing::AddGlobalTestEnvironment(new UiTestEnvironment)
